#pragma once

// Writers of the analysis rows: CSV with a header line, or JSON lines (one
// object per row). Both write every number in its shortest form that reads
// back as the same double, so two runs can be compared exactly.

#include <cstdio>
#include <memory>

#include "analysis.h"

namespace kalo::cli {

enum class RowFormat { Csv, JsonLines };

class RowWriter {
public:
    virtual ~RowWriter() = default;
    virtual void write(const Row& row) = 0;
};

// Writes the CSV header at once; `out` must outlive the writer.
std::unique_ptr<RowWriter> makeRowWriter(RowFormat format, std::FILE* out);

} // namespace kalo::cli
