// Fuzz target: the change log's reader fed any bytes. Every line is either a write or a problem
// that names it, and every write's line is one of the input's.
#include "changes/changelogread.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    const ChangeLogRead log = ReadChangeLog(text);
    const long lines = (long)std::count(text.begin(), text.end(), '\n') + 1;
    for (const LoggedWrite &write : log.writes) {
        if (write.line < 1 || write.line > lines || write.verify.empty())
            std::abort();
        DescribeLoggedWrite(write);
        write.json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }
    for (const std::string &problem : log.problems)
        if (problem.rfind("line ", 0) != 0)
            std::abort();
    return 0;
}
