// morvanectl: the operator's command-line tool.
#include <string>
#include <vector>

#include "platform/process.h"
#include "tool/tool.h"

int main(int argc, char** argv) {
  // The tool's lines end in CR LF already; nothing may add a second CR.
  platform::UseBinaryStandardOutput();
  return RunTool(std::vector<std::string>(argv, argv + argc));
}
