#include "live_output.h"

namespace kalo::host {

void JsonLinesOutput::publish(const LiveRecord& record) {
    line_ = record.json;
    line_ += '\n';
    if (std::fwrite(line_.data(), 1, line_.size(), out_) != line_.size() || std::fflush(out_) != 0)
        failed_ = true;
}

} // namespace kalo::host
