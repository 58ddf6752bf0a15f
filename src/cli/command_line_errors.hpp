#pragma once

// The command line's refusals in Russian, like every other message of the
// program. They are told from the kind of the parser's error and from what
// the parsed command knows (its options, what each was given), never from
// the parser's own English text: a new wording there changes nothing here.

#include <CLI/CLI.hpp>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace relan::cli {

// The command line's own checks of option values. The parser reports only
// that a check failed; the refusal, with the option's name, is kept here
// for the message.
class OptionChecks {
  public:
    // Any value but those listed is refused.
    void oneOf(CLI::Option* option, const std::vector<std::string>& allowed);
    // A whole number from lo to hi.
    void wholeNumber(CLI::Option* option, int lo, int hi);
    // "." or ",": a single character would otherwise also be taken from a
    // digit, a control byte or half of a UTF-8 letter, which then breaks
    // every number and the JSON.
    void decimalSeparator(CLI::Option* option);

    // "--format: допустимо одно из значений ..."; empty while nothing was refused.
    const std::string& refusal() const { return *refusal_; }

  private:
    using Check = std::function<std::string(const std::string&)>; // empty: accepted
    void add(CLI::Option* option, Check check, const std::string& description);
    std::shared_ptr<std::string> refusal_ = std::make_shared<std::string>();
};

// The parser's error `e` on `args` (the program's own arguments, without its
// name) as one Russian line. `app` is the parser after the failed parse.
std::string parseErrorText(const CLI::ParseError& e, const CLI::App& app,
                           const std::vector<std::string>& args, const OptionChecks& checks);

} // namespace relan::cli
