#include "support/LogFile.h"

#include "base/LocalClock.h"
#include "base/Module.h"
#include "base/NumberText.h"
#include "support/DateTimeText.h"
#include "support/HostInfo.h"
#include "support/TextFile.h"

#include <charconv>

namespace orvex {

namespace {

std::u16string& LogFolder() {
    static std::u16string folder;
    return folder;
}

std::u16string ModuleNameWithExtension(std::u16string_view extension) {
    const std::u16string path = GetModuleFileNameNormalized();
    const size_t slash = path.rfind(u'/');
    std::u16string name = slash == std::u16string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind(u'.');
    if (dot != std::u16string::npos)
        name.erase(dot);
    name += extension;
    return name;
}

} // namespace

void SetLogFolder(std::u16string_view folder) {
    std::u16string& stored = LogFolder();
    stored = folder;
    if (!stored.empty() && stored.back() != u'/')
        stored += u'/';
}

std::u16string DefaultLogFolder() { return ExecutableFolder(); }

std::u16string LogFileName(std::u16string_view suffix) {
    std::u16string& folder = LogFolder();
    if (folder.empty())
        folder = DefaultLogFolder();
    return DatedFileName(folder + ModuleNameWithExtension(suffix));
}

void WriteInfoLog(std::u16string_view text) {
    try {
        std::u16string line = IntToText(GetCurrentProcessIdValue());
        line += u'\t';
        line += text;
        AppendTimestampedLine(LogFileName(u".info.log"), line);
    } catch (...) {
        // Logging never fails the operation that logs.
    }
}

void WriteTestingLog(std::u16string_view kind, std::u16string_view routine, std::u16string_view message) {
    try {
        std::u16string line = FormatTestingLogTime(LocalNow());
        line += u"\t(";
        line += kind;
        line += u")\t";
        line += routine;
        line += u'\t';
        line += message;
        AppendLine(LogFileName(u".testing.log"), line);
    } catch (...) {
    }
}

} // namespace orvex
