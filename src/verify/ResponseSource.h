#pragma once
// Where AccurateRip's answer for a disc comes from: a file, a folder laid out
// like the database (a/b/c/dBAR-....bin), or the database over HTTP.

#include "verify/DiscToc.h"
#include "verify/HttpGet.h"

#include <string>

namespace verify {

inline constexpr const char* kDefaultArBase = "http://www.accuraterip.com/accuraterip/";

struct ResponseSource {
    enum class Kind { File, Folder, Http };
    Kind kind = Kind::Http;
    // The file, the folder, or the base address the file name is put after.
    std::string where = kDefaultArBase;
    HttpOptions http;
};

struct FetchResult {
    enum class Status { Found, NotInDatabase, Failed };
    Status status = Status::Failed;
    std::string bytes;   // Found: the answer, at most kMaxResponseBytes
    std::string message; // NotInDatabase, Failed: one line
    std::string from;    // the file or address asked
};

// The answer for ids from source. A folder or server without the disc's file
// is NotInDatabase; a named file that cannot be read is Failed.
FetchResult FetchResponse(const ResponseSource& source, const DiscIds& ids);

} // namespace verify
