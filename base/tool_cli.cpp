#include "base/tool_cli.h"

#include "base/text_utils.h"

namespace zx {

std::string VersionLine(std::string_view program) {
  return std::string(program) + " " + ZEPRINK_VERSION + "\n";
}

int ToolReason(std::FILE* to, std::string_view program, std::string_view text) {
  const std::string line = std::string(program) + ": " + PrintableLine(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), to);
  std::fflush(to);
  return kExitFailed;
}

bool PrintToStdout(std::string_view text) {
  return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
}

}  // namespace zx
