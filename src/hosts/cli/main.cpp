// quillmar: the command-line host of the Quillmar equaliser.
#include <cstdio>
#include <cstring>

#include "hosts/cli/args.h"
#include "hosts/cli/commands.h"
#include "hosts/cli/render.h"
#include "hosts/cli/snapshot.h"

static const char kUsage[] =
    "usage: quillmar COMMAND [options]\n"
    "  render IN OUT [--set NAME=VALUE]... [--state FILE] [--save-state FILE]\n"
    "                [--block FRAMES] [--compensate] [--format float|pcm16|pcm24]\n"
    "                [--progress | --no-progress] [--automate FILE]\n"
    "  info [--rate HZ] [--set NAME=VALUE]... [--state FILE] [--json]\n"
    "  response [--rate HZ] [--set NAME=VALUE]... [--state FILE] [--points N]\n"
    "  snapshot OUT.png [--input IN] [--set NAME=VALUE]... [--state FILE] [--size 0|1|2]\n"
    "      [--frames N]\n"
    "  gui [IN] [--set NAME=VALUE]... [--state FILE] [--save-state FILE] [--size 0|1|2]\n"
    "      [--device NAME | --no-audio]\n"
    "  demo [OUTDIR]\n";

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const char* cmd = argv[1];
  if (!std::strcmp(cmd, "--help") || !std::strcmp(cmd, "help")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!std::strcmp(cmd, "render")) return cmd_render(argc - 2, argv + 2);
  if (!std::strcmp(cmd, "info")) return cmd_info(argc - 2, argv + 2);
  if (!std::strcmp(cmd, "response")) return cmd_response(argc - 2, argv + 2);
  if (!std::strcmp(cmd, "demo")) return cmd_demo(argc - 2, argv + 2);
  if (!std::strcmp(cmd, "snapshot")) return cmd_snapshot(argc - 2, argv + 2);
  if (!std::strcmp(cmd, "gui")) return cmd_gui(argc - 2, argv + 2);
  fail(std::string("unknown command \"") + cmd + "\"", 2);
  std::fputs(kUsage, stderr);
  return 2;
}
