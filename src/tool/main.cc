// morvanectl: the operator's command-line tool.
#include <string>
#include <vector>

#include "tool/tool.h"

int main(int argc, char** argv) { return RunTool(std::vector<std::string>(argv, argv + argc)); }
