// Byte arrays as text files, one number per line.
#include "files/numberfile.h"

#include "files/regularfile.h"
#include "files/save.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

enum { READ_CHUNK = 4096, OUT_OF_RANGE = 256 };
// Far more text than any array the program keeps; a file that holds no whole array within it
// is refused without reading the rest.
enum { TEXT_LIMIT = 1024 * 1024 };

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A byte as the user can recognise it in a report: 'x' when printable, else 0xNN.
std::string ByteName(char c) {
    const auto byte = static_cast<unsigned char>(c);
    char name[8];
    if (byte >= 0x20 && byte < 0x7F)
        std::snprintf(name, sizeof name, "'%c'", c);
    else
        std::snprintf(name, sizeof name, "0x%02x", byte);
    return name;
}

// Reads unsigned numbers 0..255 separated by blanks, fed in pieces of any size, until count of
// them are whole. A number is whole at the blank or the end of the file behind it; what follows
// the last one is never looked at.
class NumberTextReader {
  public:
    NumberTextReader(unsigned char *out, int count) : out_(out), count_(count) {}

    // Takes the next piece of the file. Returns false once the values are complete or a
    // problem was found; the caller then stops reading.
    bool Feed(const char *bytes, long size) {
        for (long i = 0; i < size && !Finished(); i++)
            Take(bytes[i]);
        return !Finished();
    }
    // The end of the file: a number running up to it is whole.
    void End() {
        if (!Finished() && value_ >= 0)
            FinishNumber();
        if (!Finished())
            problem_ = std::to_string(parsed_) + " numbers instead of " + std::to_string(count_);
    }
    bool Complete() const { return parsed_ == count_; }
    const std::string &Problem() const { return problem_; }

  private:
    bool Finished() const { return Complete() || !problem_.empty(); }

    void Take(char c) {
        if (IsDigit(c)) {
            // Saturates, so that a long run of digits stays out of range instead of wrapping.
            value_ = std::min((value_ < 0 ? 0 : value_ * 10) + (c - '0'), int(OUT_OF_RANGE));
            return;
        }
        if (!IsBlank(c)) {
            problem_ = "byte " + ByteName(c) + " is not part of a number (line " +
                       std::to_string(line_) + ")";
            return;
        }
        if (value_ >= 0)
            FinishNumber();
        if (c == '\n')
            line_++;
    }

    void FinishNumber() {
        if (value_ >= OUT_OF_RANGE) {
            problem_ = "number out of range 0..255 on line " + std::to_string(line_);
            return;
        }
        out_[parsed_++] = static_cast<unsigned char>(value_);
        value_ = -1;
    }

    unsigned char *out_;
    int count_;
    int parsed_ = 0;
    int line_ = 1;
    int value_ = -1; // the number being read, -1 between numbers
    std::string problem_;
};

int Fail(int code, std::string *why, std::string text) {
    *why = std::move(text);
    return code;
}

} // namespace

std::string FormatNumberLines(const unsigned char *bytes, int count, int fieldWidth) {
    std::string text;
    char field[32];
    const int width = std::clamp(fieldWidth, 1, 16);
    for (int i = 0; i < count; i++) {
        std::snprintf(field, sizeof field, "%*d\n", width, bytes[i]);
        text += field;
    }
    return text;
}

int ReadNumberFile(const char *path, const std::string &shownName, unsigned char *out, int count,
                   std::string *why) {
    std::string cause;
    bool missing = false;
    const int fd = OpenRegularFile(path, &cause, &missing);
    if (fd < 0)
        return Fail(missing ? NUMBER_FILE_MISSING : NUMBER_FILE_UNREADABLE, why,
                    "cannot read " + shownName + ": " + cause);
    std::vector<unsigned char> values(static_cast<size_t>(count));
    NumberTextReader reader(values.data(), count);
    char chunk[READ_CHUNK];
    ssize_t size = 0;
    long taken = 0;
    bool wantsMore = true;
    while (wantsMore && taken < TEXT_LIMIT && (size = ::read(fd, chunk, sizeof chunk)) != 0) {
        if (size < 0 && errno == EINTR)
            continue;
        if (size < 0)
            break;
        wantsMore = reader.Feed(chunk, size);
        taken += size;
    }
    const int readError = size < 0 ? errno : 0;
    ::close(fd);
    if (readError != 0)
        return Fail(NUMBER_FILE_UNREADABLE, why,
                    "cannot read " + shownName + ": " + FileErrorText(readError));
    if (wantsMore && size == 0)
        reader.End();
    if (!reader.Complete())
        return Fail(
            NUMBER_FILE_BAD_FORMAT, why,
            "cannot load " + shownName + ": " +
                (reader.Problem().empty() ? "no whole array in its first MiB" : reader.Problem()));
    std::copy(values.begin(), values.end(), out);
    why->clear();
    return NUMBER_FILE_OK;
}

int SaveNumberFile(const char *path, const std::string &shownName, const unsigned char *bytes,
                   int count, int fieldWidth, std::string *why) {
    const std::string text = FormatNumberLines(bytes, count, fieldWidth);
    std::string cause;
    if (!SaveFileWhole(path, text.data(), text.size(), &cause))
        return Fail(NUMBER_FILE_NOT_WRITTEN, why, "cannot write " + shownName + ": " + cause);
    why->clear();
    return NUMBER_FILE_OK;
}
