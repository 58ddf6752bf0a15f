#pragma once

#include <functional>
#include <string>

namespace relan {

// Receives the lines the computations append to the progress log ("Ход
// решения"). The window appends them to its memo; the command line collects
// them. An empty sink drops them.
using LogSink = std::function<void(const std::string&)>;

inline void logLine(const LogSink& sink, const std::string& line) {
    if (sink) sink(line);
}

} // namespace relan
