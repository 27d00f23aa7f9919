#pragma once
// Complaints about one data file: the first of each kind is shown to the
// player, the first few of each kind go to stderr with where they were, and
// the rest are only counted, so a file full of one mistake raises one box and
// a few lines instead of thousands.
#include <string>
#include <vector>

#include "platform/core/Types.h"

class ComplaintLog {
public:
    // Shows the first complaint of a kind (a box, or a test's hook).
    using Show = void (*)(const char* text, const char* caption);

    ComplaintLog(const char* fileName, Show show);
    // Tells stderr how many of each kind went unlisted.
    ~ComplaintLog();
    ComplaintLog(const ComplaintLog&) = delete;
    ComplaintLog& operator=(const ComplaintLog&) = delete;

    // `where` names the place in the file ("line 12"); may be empty.
    void Add(const char* text, const char* caption, const std::string& where);

private:
    static constexpr u32 kDetailLines = 20;
    struct Kind {
        std::string text;
        std::string caption;
        u32 count;
    };

    std::string file_;
    Show show_;
    std::vector<Kind> kinds_;
};
