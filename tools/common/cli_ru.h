#pragma once
// CLI11 for the project's programs: help in Russian, and CLI11's English
// parse errors told again in Russian. Header only, standard library and CLI11.

#include <CLI/CLI.hpp>

#include <ostream>
#include <string>
#include <vector>

namespace qel::cli {

// CLI11 pads option names by bytes; Cyrillic letters take two. This one
// pads by characters, so the descriptions line up.
class RussianFormatter : public CLI::Formatter {
 public:
  std::string make_option(const CLI::Option* opt, bool isPositional) const override {
    std::string name = "  " + make_option_name(opt, isPositional) + make_option_opts(opt);
    std::size_t chars = 0;
    for (const char c : name) chars += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    const std::size_t width = get_column_width();
    std::string out = name;
    if (chars >= width)
      out += "\n" + std::string(width, ' ');
    else
      out += std::string(width - chars, ' ');
    for (const char c : make_option_desc(opt)) {
      out += c;
      if (c == '\n') out += std::string(width, ' ');
    }
    return out + "\n";
  }
};

// Labels and the help flag in Russian; options listed under "Параметры".
// Before any subcommand is added: they take the formatter over.
inline void UseRussian(CLI::App& app) {
  auto f = std::make_shared<RussianFormatter>();
  app.formatter(f);
  f->label("Usage", "Использование");
  f->label("OPTIONS", "ПАРАМЕТРЫ");
  f->label("SUBCOMMAND", "КОМАНДА");
  f->label("SUBCOMMANDS", "КОМАНДЫ");
  f->label("Positionals", "Аргументы");
  f->label("REQUIRED", "обязательный");
  f->label("Needs", "Требует");
  f->label("Excludes", "Исключает");
  f->label("Env", "Переменная");
  f->label("TEXT", "ТЕКСТ");
  f->label("INT", "ЦЕЛОЕ");
  f->label("UINT", "ЦЕЛОЕ");
  f->label("FLOAT", "ЧИСЛО");
  f->column_width(34);
  app.option_defaults()->group("Параметры");
  app.set_help_flag("-h,--help", "эта справка")->group("Параметры");
}

// A subcommand made like its parent: Russian help flag, options grouped.
inline CLI::App* AddCommand(CLI::App& app, const std::string& name, const std::string& description) {
  CLI::App* sub = app.add_subcommand(name, description);
  sub->group("Команды");
  sub->set_help_flag("-h,--help", "эта справка")->group("Параметры");
  return sub;
}

namespace detail {
// The first word of `text` that starts with '-' (an option's name), or "".
inline std::string FirstOptionName(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t end = text.find_first_of(" :=,[]", i);
    const std::string word = text.substr(i, end == std::string::npos ? std::string::npos : end - i);
    if (word.size() > 1 && word[0] == '-') return word;
    if (end == std::string::npos) break;
    i = end + 1;
  }
  return "";
}
template <class T>
bool Is(const CLI::ParseError& e) {
  return dynamic_cast<const T*>(&e) != nullptr;
}
inline std::string AfterColon(const std::string& text) {
  const auto c = text.find(": ");
  return c == std::string::npos ? text : text.substr(c + 2);
}
}  // namespace detail

// What went wrong, in Russian, for a parse error that is not a call for help.
inline std::string RussianError(const CLI::ParseError& e) {
  const std::string what = e.what();
  const std::string option = detail::FirstOptionName(what);
  if (detail::Is<CLI::ExtrasError>(e)) {
    const std::string extra = detail::AfterColon(what);
    if (!extra.empty() && extra[0] == '-') return "неизвестный параметр \"" + extra + "\"";
    return "лишний аргумент \"" + extra + "\"";
  }
  if (detail::Is<CLI::RequiredError>(e)) {
    if (what.rfind("A subcommand", 0) == 0) return "не указана команда";
    if (!option.empty()) return "не указан параметр " + option;
    const auto colon = what.find(':');
    const std::string name = what.substr(0, colon == std::string::npos ? what.find(' ') : colon);
    return "не указан аргумент " + name;
  }
  if (detail::Is<CLI::ArgumentMismatch>(e)) {
    const auto colon = what.find(':');
    const std::string name = option.empty() ? what.substr(0, colon) : option;
    return "после " + name + " не указано значение";
  }
  if (detail::Is<CLI::ConversionError>(e) || detail::Is<CLI::ValidationError>(e)) {
    if (!option.empty()) return "неверное значение параметра " + option;
    return "неверное значение аргумента";
  }
  if (detail::Is<CLI::ExcludesError>(e)) {
    const auto at = what.find(" excludes ");
    if (at != std::string::npos)
      return "параметры " + what.substr(0, at) + " и " + what.substr(at + 10) + " несовместимы";
  }
  if (detail::Is<CLI::RequiresError>(e)) {
    const auto at = what.find(" requires ");
    if (at != std::string::npos) return "параметр " + what.substr(0, at) + " требует " + what.substr(at + 10);
  }
  return "неверные аргументы командной строки";
}

// Parses `args` (without the program's name). Help goes to `out` and gives
// status 0; an error is one Russian line on `err` and gives status 1.
// Returns -1 when the command line parsed and the program should go on.
inline int Parse(CLI::App& app, const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                 const std::string& program) {
  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them from the back
    // An unknown first word is an unknown command, not a missing one.
    if (!args.empty() && !args[0].empty() && args[0][0] != '-' && app.get_require_subcommand_min() > 0) {
      bool known = false;
      for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; }))
        known = known || sub->check_name(args[0]);
      if (!known) {
        err << program << ": неизвестная команда \"" << args[0] << "\" (см. " << program << " --help)\n";
        return 1;
      }
    }
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    out << app.help();  // the subcommand's, when one was named
    return 0;
  } catch (const CLI::ParseError& e) {
    err << program << ": " << RussianError(e) << " (см. " << program << " --help)\n";
    return 1;
  }
  return -1;
}

inline std::vector<std::string> Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace qel::cli
