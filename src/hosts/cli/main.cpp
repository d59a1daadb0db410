// quillmar: the command-line host of the Quillmar equaliser.
#include <cstdio>
#include <string>

#include "framework/bitmap/resources.h"
#include "hosts/cli/help.h"
#include "hosts/cli/options.h"
#include "hosts/cli/temp_files.h"
#include "quillmar_version.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    print_program_usage(stderr);
    return STATUS_USAGE;
  }
  remove_temps_on_signals();
  const std::string first = argv[1];
  if ((first == "--help" || first == "-h" || first == "--version") && argc > 2)
    return fail(first + " takes no argument, not " + argv[2] + " (quillmar help COMMAND explains a command)",
                STATUS_USAGE);
  if (first == "--help" || first == "-h") {
    print_program_help(stdout);
    return 0;
  }
  if (first == "--version") {
    std::printf("quillmar %s\n", QUILLMAR_VERSION);
    return 0;
  }
  const command_t* cmd = find_command(first);
  if (!cmd) {
    fail((first[0] == '-' ? "unknown option " + first : "unknown command \"" + first + "\"") +
             " (quillmar --help lists the commands)",
         STATUS_USAGE);
    return STATUS_USAGE;
  }
  // Commands that draw nothing have no use for the skin, and those that draw check it
  // themselves: a missing skin is reported by them, once, or not at all.
  set_resource_reports_quiet(true);
  const int status = cmd->run(*cmd, argc - 2, argv + 2);
  return status == HELP_SHOWN ? 0 : status;
}
