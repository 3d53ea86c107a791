// The line's change log as the web view shows it: each sensor's last entries, read again only
// when the file has changed (its size or its time), so that a page costs no file reads.
#pragma once

#include "lineview/lineview.h"

#include <string>
#include <sys/types.h>

class ChangeLogFollower {
  public:
    explicit ChangeLogFollower(std::string path) : path_(std::move(path)) {}
    // Reads the log again if it changed and hands each sensor its entries; false when it did not.
    bool refresh(LineView *view);

  private:
    std::string path_;
    off_t size_ = -1;
    long long changedNs_ = -1;
};
