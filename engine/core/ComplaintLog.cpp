#include "engine/core/ComplaintLog.h"

#include "platform/core/FileSystem.h"
#include "platform/core/MessageBox.h"

ComplaintLog::ComplaintLog(const char* fileName, Show show)
    : file_(plat::ResolvePath(fileName ? fileName : "")), show_(show)
{
}

ComplaintLog::~ComplaintLog()
{
    for (const Kind& k : kinds_) {
        if (k.count <= kDetailLines) continue;
        const std::string line = file_ + ": " + k.text + ": " + std::to_string(k.count - kDetailLines) + " more";
        plat::ReportError(k.caption.c_str(), line.c_str());
    }
}

void ComplaintLog::Add(const char* text, const char* caption, const std::string& where)
{
    if (!text) text = "";
    if (!caption) caption = "";
    Kind* kind = nullptr;
    for (Kind& k : kinds_)
        if (k.text == text && k.caption == caption) kind = &k;
    if (kind == nullptr) {
        kinds_.push_back(Kind{text, caption, 0});
        kind = &kinds_.back();
    }
    ++kind->count;
    if (kind->count <= kDetailLines) {
        const std::string line = file_ + (where.empty() ? "" : " " + where) + ": " + text;
        plat::ReportError(caption, line.c_str());
    }
    if (kind->count == 1 && show_) show_(text, caption);
}
