#pragma once
// Where a document counts how it is used ("Recording_InitialSaved", "Recording_Clip_Add…"): the
// application shell's statistics. Documents without one count nothing. Not owned by the document.

#include <string>

namespace vtl {

class UsageStatistics {
public:
    virtual ~UsageStatistics() = default;
    virtual void count(const std::string& key) = 0;
    virtual void average(const std::string& key, double value) = 0;
};

} // namespace vtl
