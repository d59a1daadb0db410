// The program's commands; each takes the arguments after its name and returns the exit status.
#pragma once

int cmd_info(int argc, char** argv);
int cmd_response(int argc, char** argv);
int cmd_demo(int argc, char** argv);
int cmd_gui(int argc, char** argv);
