#include "lineview/changefollow.h"

#include "changes/changelogread.h"

#include <fstream>
#include <sstream>
#include <sys/stat.h>

bool ChangeLogFollower::refresh(LineView *view) {
    struct stat status {};
    if (path_.empty() || stat(path_.c_str(), &status) != 0)
        return false;
    const long long changedNs = status.st_mtim.tv_sec * 1000000000LL + status.st_mtim.tv_nsec;
    if (status.st_size == size_ && changedNs == changedNs_)
        return false;
    std::ifstream file(path_, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    if (!file)
        return false;
    size_ = status.st_size;
    changedNs_ = changedNs;
    std::vector<std::vector<ViewChange>> changes(view->count());
    for (const LoggedWrite &write : ReadChangeLog(text.str()).writes) {
        const int sensor = view->find(write.sensor);
        if (sensor >= 0)
            changes[sensor].push_back({write.time, DescribeLoggedWrite(write)});
    }
    for (int sensor = 0; sensor < view->count(); sensor++) {
        auto &mine = changes[sensor];
        if (mine.size() > VIEW_CHANGES)
            mine.erase(mine.begin(), mine.end() - VIEW_CHANGES);
        view->setChanges(sensor, std::move(mine));
    }
    return true;
}
