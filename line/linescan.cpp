// The look over a line file's text: a small TOML lexer that tracks strings, comments, table
// headers, keys, arrays and inline tables, and leaves everything else for the parser to judge.
// It takes a quote or a bracket for what the parser takes it only where a key or a value may
// begin (after '=', '[', '{', ',', a key's '.', or at a line's start); elsewhere, as in "1.5"x"
// or "a = 1["x"]", the parser reads it as part of a value it cannot read, and so does the lexer.
#include "line/linescan.h"

#include <vector>

namespace {

enum OpenKind { INLINE_TABLE, ARRAY };

struct Open {
    OpenKind kind;
    int depth; // of a key's level 0 inside an inline table, of an element inside an array
};

struct LineScan {
    explicit LineScan(const std::string &scanned) : text(scanned) {}

    const std::string &text;
    size_t at = 0;
    int line = 1;
    int tableDepth = 0;     // the levels of the last table header
    std::vector<Open> open; // the arrays and inline tables around at
    bool inKey = true;      // a key is being read, else a value
    int keyLevels = 1;      // the levels of the key being read
    bool atStart = true;    // a key or a value may begin at the next character but blanks
    std::string fault;
};

const char nonAscii[] = "a character other than ASCII outside quotes and comments";

bool IsAscii(char c) {
    return (unsigned char)c < 0x80;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

bool Fault(LineScan &scan, const std::string &what) {
    scan.fault = what;
    return false;
}

bool DepthFits(LineScan &scan, int depth) {
    return depth <= LINE_FILE_MAX_DEPTH ||
           Fault(scan, "nested too deeply (more than " + std::to_string(LINE_FILE_MAX_DEPTH) +
                           " levels)");
}

int ContainerDepth(const LineScan &scan) {
    return scan.open.empty() ? scan.tableDepth : scan.open.back().depth;
}

// Where a value that begins at scan.at sits: under its key, or as an array's element.
int ValueDepth(const LineScan &scan) {
    if (!scan.open.empty() && scan.open.back().kind == ARRAY)
        return scan.open.back().depth;
    return ContainerDepth(scan) + scan.keyLevels;
}

char At(const LineScan &scan, size_t offset = 0) {
    return scan.at + offset < scan.text.size() ? scan.text[scan.at + offset] : '\0';
}

// A backslash in a basic string at scan.at, with what follows it. The parser tests the escaped
// character, and after a line-ending backslash the first one past the blanks, for whitespace.
bool SkipEscape(LineScan &scan, bool multiLine) {
    scan.at++;
    const char next = At(scan);
    if (multiLine && (IsBlank(next) || next == '\n')) {
        for (char c = next; IsBlank(c) || c == '\n'; c = At(scan)) {
            scan.line += c == '\n';
            scan.at++;
        }
        return IsAscii(At(scan)) ||
               Fault(scan, "a character other than ASCII right after a line-ending backslash");
    }
    if (!IsAscii(next))
        return Fault(scan, "a character other than ASCII right after a backslash");
    if (scan.at < scan.text.size())
        scan.at++;
    return true;
}

// A string at scan.at: "basic", 'literal', """multi-line""" or '''multi-line''', left after its
// closing quotes; a single-line one that never closes ends at its line's end.
bool SkipString(LineScan &scan) {
    const char quote = At(scan);
    const bool multiLine = At(scan, 1) == quote && At(scan, 2) == quote;
    scan.at += multiLine ? 3 : 1;
    scan.atStart = false;
    while (scan.at < scan.text.size()) {
        const char c = At(scan);
        if (c == '\n' && !multiLine)
            return true;
        if (c == '\\' && quote == '"') {
            if (!SkipEscape(scan, multiLine))
                return false;
            continue;
        }
        if (c == quote && (!multiLine || (At(scan, 1) == quote && At(scan, 2) == quote))) {
            scan.at += multiLine ? 3 : 1;
            // Up to two more quotes still belong to the string.
            for (int extra = 0; multiLine && extra < 2 && At(scan) == quote; extra++)
                scan.at++;
            return true;
        }
        scan.line += c == '\n';
        scan.at++;
    }
    return true;
}

// A table header at scan.at, "[a.b]" or "[[a.b]]", left after its closing brackets: the keys
// below it sit that deep.
bool SkipTableHeader(LineScan &scan) {
    scan.at++;
    const bool arrayOfTables = At(scan) == '[';
    scan.at += arrayOfTables ? 1 : 0;
    int levels = arrayOfTables ? 2 : 1;
    scan.atStart = true;
    while (scan.at < scan.text.size() && At(scan) != ']' && At(scan) != '\n') {
        const char c = At(scan);
        if ((c == '"' || c == '\'') && scan.atStart) {
            if (!SkipString(scan))
                return false;
            continue;
        }
        if (!IsAscii(c))
            return Fault(scan, nonAscii);
        if (c == '.' && !DepthFits(scan, ++levels))
            return false;
        if (!IsBlank(c))
            scan.atStart = c == '.';
        scan.at++;
    }
    for (int closing = arrayOfTables ? 2 : 1; closing > 0 && At(scan) == ']'; closing--)
        scan.at++;
    scan.tableDepth = levels;
    scan.inKey = false;
    scan.atStart = false;
    return true;
}

bool OpenValue(LineScan &scan, OpenKind kind) {
    const int depth = ValueDepth(scan) + (kind == ARRAY ? 1 : 0);
    if (!DepthFits(scan, kind == ARRAY ? depth : depth + 1))
        return false;
    scan.open.push_back({kind, depth});
    scan.inKey = kind == INLINE_TABLE;
    scan.keyLevels = 1;
    scan.atStart = true;
    return true;
}

void CloseValue(LineScan &scan, OpenKind kind) {
    if (!scan.open.empty() && scan.open.back().kind == kind) {
        scan.open.pop_back();
        scan.inKey = false;
    }
}

void NextKey(LineScan &scan) {
    scan.inKey = true;
    scan.keyLevels = 1;
    scan.atStart = true;
}

// One character outside strings and comments that is no blank: what it opens, closes or ends.
bool Mark(LineScan &scan, char c) {
    const bool atStart = scan.atStart;
    scan.atStart = false;
    switch (c) {
    case '[':
        return !atStart || OpenValue(scan, ARRAY);
    case '{':
        return !atStart || OpenValue(scan, INLINE_TABLE);
    case ']':
        CloseValue(scan, ARRAY);
        return true;
    case '}':
        CloseValue(scan, INLINE_TABLE);
        return true;
    case ',':
        if (!scan.open.empty() && scan.open.back().kind == INLINE_TABLE)
            NextKey(scan);
        else
            scan.atStart = !scan.open.empty();
        return true;
    case '=':
        scan.atStart = scan.inKey;
        scan.inKey = false;
        return true;
    case '.':
        scan.atStart = scan.inKey;
        return !scan.inKey || DepthFits(scan, ContainerDepth(scan) + ++scan.keyLevels);
    default:
        return IsAscii(c) || Fault(scan, nonAscii);
    }
}

// One step over what stands at scan.at.
bool Step(LineScan &scan) {
    const char c = At(scan);
    if ((c == '"' || c == '\'') && scan.atStart)
        return SkipString(scan);
    if (c == '[' && scan.atStart && scan.open.empty() && scan.inKey)
        return SkipTableHeader(scan);
    if (c == '#') {
        while (scan.at < scan.text.size() && At(scan) != '\n')
            scan.at++;
        return true;
    }
    if (c == '\n') {
        scan.line++;
        if (scan.open.empty())
            NextKey(scan);
    } else if (!IsBlank(c) && !Mark(scan, c)) {
        return false;
    }
    scan.at++;
    return true;
}

} // namespace

std::string LineTextFault(const std::string &text, int *line) {
    LineScan scan(text);
    // A byte-order mark may open the file; the parser skips it too.
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        scan.at = 3;
    while (scan.at < text.size())
        if (!Step(scan))
            break;
    *line = scan.line;
    return scan.fault;
}
