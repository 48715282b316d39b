#include "info.h"

namespace tool {

void print_record_tables(HGLOBAL, const std::string&, uint32_t, const RecordDesc*, std::ostream&) {}

void print_file_tables(HGLOBAL, uint32_t, std::ostream&) {}

}  // namespace tool
