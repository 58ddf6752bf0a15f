#include "command_line_errors.hpp"

#include "relan/numtext.hpp"
#include "relan/text_decoding.hpp"

#include <utility>

namespace relan::cli {
namespace {

// The option lists of the parse: the program's own, then the command's.
std::vector<const CLI::App*> parsedApps(const CLI::App& app) {
    std::vector<const CLI::App*> apps{&app};
    for (const CLI::App* command : app.get_subcommands())
        apps.push_back(command);
    return apps;
}

bool takesValue(const CLI::Option& o) {
    return o.get_type_size_max() > 0;
}

// The option the command line ends with, "--sred" or "--sred=", when it
// asks for a value that never came; none when that last word was taken as
// another option's value.
const CLI::Option* optionLeftWithoutValue(const CLI::App& app, const std::vector<std::string>& args) {
    if (args.empty()) return nullptr;
    const std::vector<const CLI::App*> apps = parsedApps(app);
    for (const CLI::App* a : apps)
        for (const CLI::Option* o : a->get_options())
            for (const std::string& r : o->results())
                if (r == args.back()) return nullptr;
    std::string name = args.back();
    const auto eq = name.find('=');
    if (eq != std::string::npos) {
        if (eq + 1 != name.size()) return nullptr; // it has its value
        name.erase(eq);
    }
    for (auto it = apps.rbegin(); it != apps.rend(); ++it) {
        const CLI::Option* o = (*it)->get_option_no_throw(name);
        if (o && takesValue(*o)) return o;
    }
    return nullptr;
}

// An option that asks for a value and got none, or more than it takes.
const CLI::Option* mismatchedOption(const CLI::App& app, const std::vector<std::string>& args) {
    if (const CLI::Option* o = optionLeftWithoutValue(app, args)) return o;
    for (const CLI::App* a : parsedApps(app))
        for (const CLI::Option* o : a->get_options())
            if (takesValue(*o) && o->count() > static_cast<std::size_t>(o->get_items_expected_max()))
                return o;
    return nullptr;
}

// The option whose value did not convert: the parser converts the options
// in the order they were declared, the program's before the command's, and
// marks each as done before converting it, so it is the last one marked.
const CLI::Option* unconvertedOption(const CLI::App& app) {
    const CLI::Option* last = nullptr;
    for (const CLI::App* a : parsedApps(app))
        for (const CLI::Option* o : a->get_options())
            if (o->get_callback_run()) last = o;
    return last;
}

// The first required option the command was not given.
const CLI::Option* missingOption(const CLI::App& app) {
    for (const CLI::App* a : parsedApps(app))
        for (const CLI::Option* o : a->get_options())
            if (o->get_required() && o->count() == 0) return o;
    return nullptr;
}

// What no option took, listed last first as relan-cli has always listed it;
// the program's own leftovers are told before the command's.
std::string extraArguments(const CLI::App& app) {
    for (const CLI::App* a : parsedApps(app)) {
        const std::vector<std::string> extras = a->remaining(false);
        if (extras.empty()) continue;
        std::string list;
        for (auto it = extras.rbegin(); it != extras.rend(); ++it)
            list += (list.empty() ? "" : " ") + *it;
        return list;
    }
    return {};
}

} // namespace

void OptionChecks::add(CLI::Option* option, Check check, const std::string& description) {
    option->check(CLI::Validator(
        [name = option->get_name(), check = std::move(check), refusal = refusal_](std::string& value) {
            std::string why = check(value);
            if (!why.empty()) *refusal = name + ": " + why;
            return why;
        },
        description));
}

void OptionChecks::oneOf(CLI::Option* option, const std::vector<std::string>& allowed) {
    std::string list;
    for (const auto& a : allowed)
        list += (list.empty() ? "" : ", ") + a;
    add(
        option,
        [allowed, list](const std::string& v) {
            for (const auto& a : allowed)
                if (v == a) return std::string();
            return "допустимо одно из значений " + list + ", задано " + text::quoted(v);
        },
        list);
}

void OptionChecks::wholeNumber(CLI::Option* option, int lo, int hi) {
    add(
        option,
        [lo, hi](const std::string& v) {
            const auto n = parseInt32(v);
            if (n && *n >= lo && *n <= hi) return std::string();
            return "допустимо целое число от " + std::to_string(lo) + " до " + std::to_string(hi) +
                   ", задано " + text::quoted(v);
        },
        std::to_string(lo) + ".." + std::to_string(hi));
}

void OptionChecks::decimalSeparator(CLI::Option* option) {
    add(
        option,
        [](const std::string& v) {
            return v == "." || v == "," ? std::string()
                                        : "допустим только «.» или «,», задано " + text::quoted(v);
        },
        "'.' or ','");
}

std::string parseErrorText(const CLI::ParseError& e, const CLI::App& app,
                           const std::vector<std::string>& args, const OptionChecks& checks) {
    if (dynamic_cast<const CLI::ValidationError*>(&e) && !checks.refusal().empty()) return checks.refusal();
    if (dynamic_cast<const CLI::RequiredError*>(&e)) {
        if (app.get_subcommands().empty())
            return "не указана команда (load, analyze, report, nonparam, chart) или она неизвестна";
        if (const CLI::Option* o = missingOption(app))
            return "не указан обязательный параметр " + o->get_name();
    }
    if (dynamic_cast<const CLI::ExtrasError*>(&e)) {
        const std::string extras = extraArguments(app);
        if (!extras.empty()) return "лишние аргументы: " + extras;
    }
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&e))
        if (const CLI::Option* o = mismatchedOption(app, args))
            return o->get_name() + ": не указано значение или их слишком много";
    if (dynamic_cast<const CLI::ConversionError*>(&e)) {
        if (const CLI::Option* o = unconvertedOption(app)) {
            std::string value;
            for (const std::string& r : o->results())
                value += (value.empty() ? "" : ",") + r;
            return o->get_name() + ": " + text::quoted(value) + " не является допустимым числом";
        }
    }
    // Nothing the command line's own options explain: the parser's words,
    // which at least name what went wrong.
    return "ошибка в командной строке (" + std::string(e.what()) + ")";
}

} // namespace relan::cli
