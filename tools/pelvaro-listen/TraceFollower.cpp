#include "tools/pelvaro-listen/TraceFollower.h"

#include <utility>

namespace pelvaro::listen {
namespace {

// Shared in every way, so that the writer may append to the file and rename it meanwhile.
UniqueFileHandle OpenShared(const std::string& path) {
    return UniqueFileHandle(CreateFileA(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool SameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return GetFileInformationByHandle(a, &x) && GetFileInformationByHandle(b, &y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
           x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

}  // namespace

TraceFollower::TraceFollower(std::string path) : path_(std::move(path)), file_(OpenShared(path_)) {
    if (file_) SetFilePointerEx(file_.Get(), LARGE_INTEGER{}, nullptr, FILE_END);
}

std::vector<std::string> TraceFollower::NewLines() {
    std::vector<std::string> lines;
    // Opened before the followed file is read to its end: when the name already holds a new
    // file, nothing more goes into the old one.
    UniqueFileHandle named = OpenShared(path_);
    ReadRest(lines);
    if (named && !(file_ && SameFile(file_.Get(), named.Get()))) {
        file_ = std::move(named);
        ReadRest(lines);
    }
    return lines;
}

void TraceFollower::ReadRest(std::vector<std::string>& lines) {
    if (!file_) return;
    // Shorter than what was read: the writer, unable to rename it, emptied it in place at its
    // bound, long after the last poll, and its lines begin again at the top.
    LARGE_INTEGER at{}, size{};
    if (SetFilePointerEx(file_.Get(), LARGE_INTEGER{}, &at, FILE_CURRENT) &&
        GetFileSizeEx(file_.Get(), &size) && size.QuadPart < at.QuadPart) {
        SetFilePointerEx(file_.Get(), LARGE_INTEGER{}, nullptr, FILE_BEGIN);
        partial_.clear();
    }
    char buffer[4096];
    DWORD count = 0;
    while (ReadFile(file_.Get(), buffer, sizeof buffer, &count, nullptr) && count > 0) {
        partial_.append(buffer, count);
    }
    std::size_t start = 0;
    for (std::size_t end = partial_.find('\n'); end != std::string::npos;
         start = end + 1, end = partial_.find('\n', start)) {
        std::size_t length = end - start;
        if (length > 0 && partial_[end - 1] == '\r') --length;
        lines.push_back(partial_.substr(start, length));
    }
    partial_.erase(0, start);
}

}  // namespace pelvaro::listen
