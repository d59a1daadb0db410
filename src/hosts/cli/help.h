// The program's help, its man page and its bash completion, all made from the table of
// commands and the help topics (command_table.cpp), so that they cannot drift apart.
#pragma once
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "hosts/cli/options.h"

// A section of the help beside the commands (FILES, ENVIRONMENT, ...). It is in the program's
// help and the man page, and in the help of each command `commands` names (space-separated).
struct help_topic_t {
  const char* title;
  const char* commands;
  const char* text;
};

const std::vector<command_t>& commands();
const std::vector<help_topic_t>& help_topics();
// A command by its name, or null.
const command_t* find_command(const std::string& name);

// What `quillmar --help` prints: the commands, then every topic.
void print_program_help(FILE* out);
// What `quillmar help COMMAND` and `quillmar COMMAND --help` print: its usage, what it does,
// every option in a line, and the topics that concern it.
void print_command_help(const command_t& cmd, FILE* out);
// The one-line usage of the program (for a bad start).
void print_program_usage(FILE* out);

// The man page quillmar.1, in roff.
void write_man_page(std::ostream& out);
// The bash completion script.
void write_bash_completion(std::ostream& out);

// The `help` command.
int cmd_help(const command_t& cmd, int argc, char** argv);
