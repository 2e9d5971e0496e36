#include "scrivo/output_handler_std.hpp"

#include <iostream>

#include "level_prefix.hpp"

namespace scrivo
{

OutputHandlerSTD::~OutputHandlerSTD() = default;

void OutputHandlerSTD::log(const std::string & text, LogLevel level, const char * filename, int line)
{
  level = detail::clampLevel(level);
  if (level <= Info) {
    std::cout << detail::levelPrefix(level) << text << std::endl;
    std::cout.flush();
    return;
  }
  // A null file name would put std::cerr into a failed state and silence
  // every later message, so it is printed the way printf prints it.
  std::cerr << detail::levelPrefix(level) << text << std::endl;
  std::cerr << detail::kLocationLead << line << " in " << (filename ? filename : "(null)") << std::endl;
  std::cerr.flush();
}

}  // namespace scrivo
