#pragma once
// Follows the trace file as Pelvaro appends to it, across a rollover: the last lines of the old
// file, then those of the new one; and from the top again when it was emptied in place.

#include <string>
#include <vector>

#include "win/Holders.h"

namespace pelvaro::listen {

class TraceFollower {
  public:
    // Starts at the file's present end: what it held before is not shown. The file need not
    // exist yet.
    explicit TraceFollower(std::string path);

    // The whole lines appended since the last call, without their line ends.
    std::vector<std::string> NewLines();

  private:
    void ReadRest(std::vector<std::string>& lines);

    std::string path_;
    UniqueFileHandle file_;
    std::string partial_;
};

}  // namespace pelvaro::listen
