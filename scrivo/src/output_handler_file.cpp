#include "scrivo/output_handler_file.hpp"

#include <iostream>

#include "level_prefix.hpp"

namespace scrivo
{

OutputHandlerFile::OutputHandlerFile(const char * filename)
: file_(filename ? std::fopen(filename, "a") : nullptr)
{
  if (file_ == nullptr) {
    std::cerr << "Unable to open log file: '" << (filename ? filename : "(null)") << "'" << std::endl;
  }
}

OutputHandlerFile::~OutputHandlerFile()
{
  if (file_ != nullptr && std::fclose(file_) != 0) {
    std::cerr << "Error closing logfile" << std::endl;
  }
}

void OutputHandlerFile::log(const std::string & text, LogLevel level, const char * filename, int line)
{
  if (file_ == nullptr) {
    return;
  }
  level = detail::clampLevel(level);
  std::fprintf(file_, "%s%s\n", detail::levelPrefix(level), text.c_str());
  if (level > Info) {
    std::fprintf(file_, "%s%d in %s\n", detail::kLocationLead, line, filename ? filename : "(null)");
  }
  std::fflush(file_);
}

}  // namespace scrivo
