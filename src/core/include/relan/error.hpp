#pragma once

#include <stdexcept>
#include <string>

namespace relan {

// Every refusal the core makes surfaces as one of these: the message is the
// exact text a user is shown, the caption the title of the message box (empty
// means the application's own title).
class Error : public std::runtime_error {
  public:
    explicit Error(const std::string& message, std::string caption = {})
        : std::runtime_error(message), caption_(std::move(caption)) {}
    const std::string& caption() const noexcept { return caption_; }

  private:
    std::string caption_;
};

} // namespace relan
