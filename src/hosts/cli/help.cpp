#include "hosts/cli/help.h"

#include <cstring>
#include <sstream>

#include "quillmar_version.h"

namespace {

constexpr size_t kWidth = 79;        // columns of the help as printed
constexpr size_t kOptionColumn = 26;  // where an option's explanation starts

const char kProgram[] =
    "Quillmar is a linear-phase equaliser: four band points define a smooth response curve, "
    "applied as a linear-phase filter with a fixed latency. This program runs it as a host "
    "would, offline on audio files, draws its editor into pictures, and opens the editor in "
    "a window with audio playing through it.";

std::vector<std::string> split(const std::string& text, const std::string& by) {
  std::vector<std::string> parts;
  for (size_t start = 0;;) {
    const size_t end = text.find(by, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return parts;
    start = end + by.size();
  }
}

bool starts(const std::string& s, const char* with) { return s.compare(0, std::strlen(with), with) == 0; }

// `code` is shown in quotes on a terminal.
std::string plain(const std::string& s) {
  std::string out = s;
  for (char& c : out)
    if (c == '`') c = '\'';
  return out;
}

// Words filled into lines of kWidth columns: the first line after `first` (its indent or a
// heading), the others after `indent` spaces.
std::string fill(const std::string& text, const std::string& first, size_t indent) {
  std::string out = first;
  size_t column = first.size();
  bool line_empty = true;
  std::istringstream words(text);
  for (std::string w; words >> w;) {
    if (!line_empty && column + 1 + w.size() > kWidth) {
      out += "\n" + std::string(indent, ' ');
      column = indent;
      line_empty = true;
    }
    if (!line_empty) {
      out += ' ';
      ++column;
    }
    out += w;
    column += w.size();
    line_empty = false;
  }
  return out + "\n";
}

// A text of the table (see command_table.cpp for its markup), indented.
void print_text(const char* text, size_t indent, FILE* out) {
  const std::string pad(indent, ' ');
  bool first = true;
  for (const std::string& para : split(plain(text), "\n\n")) {
    if (!first) std::fputc('\n', out);
    first = false;
    if (starts(para, "  ")) {
      for (const std::string& line : split(para, "\n")) std::fprintf(out, "%s%s\n", pad.c_str(), line.c_str());
    } else if (starts(para, "- ")) {
      for (const std::string& item : split(para, "\n"))
        std::fputs(fill(item.substr(2), pad + "- ", indent + 2).c_str(), out);
    } else {
      std::fputs(fill(para, pad, indent).c_str(), out);
    }
  }
}

std::string usage_line(const command_t& cmd) {
  std::string u = std::string("quillmar ") + cmd.name;
  if (*cmd.operands) u += std::string(" ") + cmd.operands;
  if (!cmd.options.empty()) u += " [options]";
  return u;
}

bool topic_concerns(const help_topic_t& t, const command_t& cmd) {
  std::istringstream names(t.commands);
  for (std::string n; names >> n;)
    if (n == cmd.name) return true;
  return false;
}

std::string option_words(const option_t& o) {
  return std::string(o.name) + (o.value ? std::string(" ") + o.value : "");
}

// roff: backslashes escaped, hyphens as minus signs (so that options can be copied), a
// leading dot or quote kept from being a request, `code` in bold.
std::string roff(const std::string& s) {
  std::string out;
  bool code = false;
  for (char c : s) {
    if (c == '\\') out += "\\e";
    else if (c == '-') out += "\\-";
    else if (c == '`') out += (code = !code) ? "\\fB" : "\\fR";
    else out += c;
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out = "\\&" + out;
  return out;
}

void roff_text(std::ostream& o, const char* text) {
  bool first = true;
  for (const std::string& para : split(text, "\n\n")) {
    if (!first) o << ".PP\n";
    first = false;
    if (starts(para, "  ")) {
      o << ".nf\n.RS 4\n";
      for (const std::string& line : split(para, "\n")) o << roff(line.substr(2)) << "\n";
      o << ".RE\n.fi\n";
    } else if (starts(para, "- ")) {
      for (const std::string& item : split(para, "\n")) o << ".IP \\(bu 2\n" << roff(item.substr(2)) << "\n";
    } else {
      o << roff(para) << "\n";
    }
  }
}

// The words bash completes after an option: a choice of values, file names, or nothing.
std::string completion_of(const option_t& o) {
  const std::string v = o.value;
  if (v.find('|') != std::string::npos) {
    std::string words = v;
    for (char& c : words)
      if (c == '|') c = ' ';
    return "COMPREPLY=($(compgen -W \"" + words + "\" -- \"$cur\"))";
  }
  if (v == "FILE" || v == "IN") return "COMPREPLY=($(compgen -f -- \"$cur\"))";
  if (std::strcmp(o.name, "--preset") == 0)
    return "COMPREPLY=($(compgen -W \"$(quillmar presets 2>/dev/null | tr A-Z a-z | "
           "sed 's/[^a-z0-9]\\{1,\\}/-/g; s/^-//; s/-$//')\" -- \"$cur\"))";
  return "COMPREPLY=()";
}

}  // namespace

const command_t* find_command(const std::string& name) {
  for (const command_t& c : commands())
    if (name == c.name) return &c;
  return nullptr;
}

void print_program_usage(FILE* out) {
  std::fputs("usage: quillmar COMMAND [options]  (quillmar --help explains the commands)\n", out);
}

void print_program_help(FILE* out) {
  std::fprintf(out, "usage: quillmar COMMAND [options]\n       quillmar --version\n\n");
  print_text(kProgram, 0, out);
  std::fputs("\nCommands:\n", out);
  for (const command_t& c : commands()) {
    std::string head = "  " + std::string(c.name) + (*c.operands ? std::string(" ") + c.operands : "");
    head.resize(std::max(head.size() + 2, size_t(22)), ' ');
    std::fputs(fill(c.summary, head, 22).c_str(), out);
  }
  std::fputc('\n', out);
  print_text("`quillmar help COMMAND` or `quillmar COMMAND --help` explains a command and its "
             "options.", 0, out);
  for (const help_topic_t& t : help_topics()) {
    std::fprintf(out, "\n%s\n", t.title);
    print_text(t.text, 2, out);
  }
}

void print_command_help(const command_t& cmd, FILE* out) {
  std::fprintf(out, "usage: %s\n\n", usage_line(cmd).c_str());
  print_text(cmd.description, 0, out);
  std::fputs("\nOptions:\n", out);
  std::vector<option_t> options = cmd.options;
  options.push_back({"-h, --help", nullptr, "show this help"});
  for (const option_t& o : options) {
    std::string head = "  " + option_words(o);
    if (head.size() + 2 > kOptionColumn) {
      std::fprintf(out, "%s\n", head.c_str());
      head.clear();
    }
    head.resize(kOptionColumn, ' ');
    std::fputs(fill(plain(o.help), head, kOptionColumn).c_str(), out);
  }
  for (const help_topic_t& t : help_topics()) {
    if (!topic_concerns(t, cmd)) continue;
    std::fprintf(out, "\n%s\n", t.title);
    print_text(t.text, 2, out);
  }
}

int cmd_help(const command_t& cmd, int argc, char** argv) {
  parsed_args_t args;
  if (const int status = parse_args(cmd, argc, argv, &args)) return status == HELP_SHOWN ? 0 : status;
  if (args.operands.empty()) {
    print_program_help(stdout);
    return 0;
  }
  const command_t* c = find_command(args.operands[0]);
  if (!c) return fail("help: no command is called \"" + args.operands[0] + "\" (quillmar --help lists them)", STATUS_USAGE);
  print_command_help(*c, stdout);
  return 0;
}

void write_man_page(std::ostream& o) {
  o << ".\\\" The man page of quillmar, made from the program's own help (do not edit).\n"
    << ".TH QUILLMAR 1 \"" QUILLMAR_VERSION_DATE "\" \"quillmar " QUILLMAR_VERSION "\" \"User Commands\"\n"
    << ".SH NAME\nquillmar \\- a linear\\-phase equaliser for audio files, its editor and its window\n"
    << ".SH SYNOPSIS\n";
  for (const command_t& c : commands()) {
    o << ".B quillmar " << c.name << "\n";
    if (*c.operands) o << ".I " << roff(c.operands) << "\n";
    if (!c.options.empty()) o << "[\\fIoptions\\fR]\n";
    o << ".br\n";
  }
  o << ".B quillmar \\-\\-version\n";
  o << ".SH DESCRIPTION\n" << roff(kProgram) << "\n";
  o << ".SH COMMANDS\n";
  for (const command_t& c : commands()) {
    o << ".SS \"" << roff(usage_line(c).substr(9)) << "\"\n";
    roff_text(o, c.description);
    for (const option_t& opt : c.options) {
      o << ".TP\n\\fB" << roff(opt.name) << "\\fR";
      if (opt.value) o << " \\fI" << roff(opt.value) << "\\fR";
      o << "\n" << roff(opt.help) << "\n";
    }
  }
  o << ".PP\nEvery command also takes \\fB\\-h\\fR and \\fB\\-\\-help\\fR, and \\fB\\-\\-\\fR ends "
       "its options: an argument after it is a file name even when it begins with a hyphen.\n";
  for (const help_topic_t& t : help_topics()) {
    o << ".SH " << t.title << "\n";
    roff_text(o, t.text);
  }
  o << ".SH SEE ALSO\n.BR lv2ls (1),\n.BR lv2apply (1),\n.BR jalv (1)\n";
}

void write_bash_completion(std::ostream& o) {
  std::string names;
  for (const command_t& c : commands()) names += std::string(names.empty() ? "" : " ") + c.name;
  o << "# bash completion for quillmar, made from the program's own help (do not edit).\n"
    << "_quillmar() {\n"
    << "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
    << "  if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
    << "    COMPREPLY=($(compgen -W \"" << names << " --help --version\" -- \"$cur\"))\n"
    << "    return\n  fi\n"
    << "  case \"${COMP_WORDS[1]} $prev\" in\n";
  for (const command_t& c : commands())
    for (const option_t& opt : c.options)
      if (opt.value) o << "    \"" << c.name << " " << opt.name << "\") " << completion_of(opt) << "; return ;;\n";
  o << "  esac\n  local opts\n  case \"${COMP_WORDS[1]}\" in\n";
  for (const command_t& c : commands()) {
    o << "    " << c.name << ") opts=\"";
    for (const option_t& opt : c.options) o << opt.name << " ";
    o << "--help\" ;;\n";
  }
  o << "  esac\n"
    << "  if [ \"${COMP_WORDS[1]}\" = help ]; then\n"
    << "    COMPREPLY=($(compgen -W \"" << names << "\" -- \"$cur\"))\n"
    << "  elif [[ $cur == -* ]]; then\n"
    << "    COMPREPLY=($(compgen -W \"$opts\" -- \"$cur\"))\n"
    << "  else\n"
    << "    COMPREPLY=($(compgen -f -- \"$cur\"))\n"
    << "  fi\n"
    << "}\n"
    << "complete -o filenames -F _quillmar quillmar\n";
}
