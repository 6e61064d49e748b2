#pragma once

// Writers of the analysis rows: CSV with a header line, or JSON lines (one
// object per row). Both write every number in its shortest form that reads
// back as the same double, so two runs can be compared exactly. Rows are
// formatted into a buffer and written in large pieces: an hour of rows is
// 90,000 lines, and a call into stdio per line would cost more than the
// engine's work.

#include <cstdio>
#include <memory>
#include <string>

#include "host/session.h"

namespace kalo::cli {

enum class RowFormat { Csv, JsonLines };

class RowWriter {
public:
    virtual ~RowWriter() = default;
    virtual void write(const host::Row& row) = 0;
    // Writes what is buffered; false when the stream refused it.
    bool flush();

protected:
    explicit RowWriter(std::FILE* out) : out_(out) {}
    void written(); // flushes once the buffer is large
    std::string buffer_;

private:
    std::FILE* out_;
    bool failed_ = false;
};

// Writes the CSV header at once; `out` must outlive the writer.
std::unique_ptr<RowWriter> makeRowWriter(RowFormat format, std::FILE* out);

} // namespace kalo::cli
