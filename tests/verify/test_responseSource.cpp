// Where AccurateRip's answers come from: a file, a folder laid out like the
// database, and HTTP, against a server this test starts on 127.0.0.1 that
// answers as scripted (the database's own shape, and the ways a server can
// go wrong).

#include "TestSupport.h"
#include "VerifyTestSupport.h"
#include "verify/ResponseSource.h"

#include <filesystem>

namespace {

using namespace verifytest;

// An answer as the database gives it, holding \r\n and zero bytes.
const std::string kAnswer = verify::FormatArResponse(
    {{0x0a0d0a0d, 0, 0x0d0a, {{3, 0x0a0d0000, 0}, {1, 0xffff, 0x0d0a0d0a}}}});

// Over HTTP, the server answers every path but /moved/x.bin (which has the
// database's file) with the case's reply; a closed port is one whose server
// is gone before it is asked.
TEST(ResponseSource, AnswersOfEveryShapeFromEverySource) {
    const verify::DiscToc toc{1, 2, {{1, 0, true, {}}, {2, 15000, true, {}}}, 32000};
    std::string error;
    const verify::DiscIds ids = *verify::ComputeDiscIds(toc, error);
    testsupport::TempFolder folder;
    const std::string inTree = folder.file("db/" + ids.arFileName);
    std::filesystem::create_directories(std::filesystem::path(inTree).parent_path());
    WriteFile(inTree, kAnswer);
    WriteFile(folder.file("big.bin"), std::string(verify::kMaxResponseBytes + 1, '\0'));
    const std::string closed =
        LocalServer([](const std::string&) { return Reply{}; }).Base().toStdString();
    using Kind = verify::ResponseSource::Kind;
    using Status = verify::FetchResult::Status;
    const struct {
        const char* name;
        Status status;
        std::string says; // in the message; the answer when Found
        std::string reply;
        bool hang = false; // then say nothing more
        Kind kind = Kind::Http;
        std::string where = {}; // empty: the server's
    } cases[] = {
        {"sized", Status::Found, kAnswer, Ok(kAnswer)},
        {"chunked", Status::Found, kAnswer,
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\na;x=1\r\n" + kAnswer.substr(0, 10) +
             "\r\n15\r\n" + kAnswer.substr(10) + "\r\n0\r\nX-Trailer: 1\r\n\r\n"},
        {"server fault", Status::Failed, "the server answered 500 Internal Server Error",
         "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n"},
        {"says it is too large", Status::Failed, "larger than 1 MB",
         "HTTP/1.1 200 OK\r\nContent-Length: 1048577\r\n\r\nxx"},
        {"too large in chunks", Status::Failed, "larger than 1 MB",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n80000\r\n" +
             std::string(0x80000, 'x') + "\r\n80001\r\n" + std::string(0x80001, 'x') +
             "\r\n0\r\n\r\n"},
        {"cut short", Status::Failed, "ends before its Content-Length",
         "HTTP/1.1 200 OK\r\nContent-Length: 500\r\n\r\n" + kAnswer},
        {"not HTTP", Status::Failed, "not HTTP", "SSH-2.0-OpenSSH_9.2\r\n\r\n"},
        {"silent", Status::Failed, "timed out waiting for the answer", "", true},
        {"redirected here", Status::Found, kAnswer,
         "HTTP/1.1 302 Found\r\nLocation: /moved/x.bin\r\n\r\n"},
        {"redirected to https", Status::Failed, "https is not supported",
         "HTTP/1.1 301 Moved\r\nLocation: https://127.0.0.1/x.bin\r\n\r\n"},
        {"redirected in a loop", Status::Failed, "more than 3 redirects",
         "HTTP/1.1 307 Again\r\nLocation: /loop\r\n\r\n"},
        {"a closed port", Status::Failed, "cannot reach 127.0.0.1:", "", false, Kind::Http, closed},
        {"folder with a slash", Status::Found, kAnswer, "", false, Kind::Folder,
         folder.file("db/")},
        {"folder without the disc", Status::NotInDatabase,
         "not in the database (no file " + folder.file(ids.arFileName) + ")", "", false,
         Kind::Folder, folder.path()},
        {"missing file", Status::Failed,
         "cannot open " + folder.file("none.bin") + ": No such file or directory", "", false,
         Kind::File, folder.file("none.bin")},
        {"file over 1 MB", Status::Failed, "more than the 1 MB", "", false, Kind::File,
         folder.file("big.bin")},
        {"a folder named as the file", Status::Failed, "is not a file", "", false, Kind::File,
         folder.path()},
    };
    for (const auto& c : cases) {
        const LocalServer server([&](const std::string& path) {
            return Reply{path == "/moved/x.bin" ? Ok(kAnswer) : c.reply, c.hang};
        });
        verify::ResponseSource source{c.kind, c.where, {}};
        if (c.where.empty())
            source.where = server.Base().toStdString() + "accuraterip";
        source.http.timeout = std::chrono::milliseconds(500);
        const verify::FetchResult r = verify::FetchResponse(source, ids);
        EXPECT_EQ(r.status, c.status) << c.name << ": " << r.message;
        if (r.status == Status::Found) {
            EXPECT_EQ(r.bytes, c.says) << c.name;
        } else {
            EXPECT_NE(r.message.find(c.says), std::string::npos) << c.name << ": " << r.message;
        }
        EXPECT_EQ(r.message.find('\n'), std::string::npos) << c.name;
        // The database's file under the base, asked for once with HTTP/1.1.
        const auto requests = server.Requests();
        ASSERT_EQ(requests.empty(), !c.where.empty()) << c.name;
        const std::string want = "GET /accuraterip/" + ids.arFileName + " HTTP/1.1\r\n";
        if (c.where.empty()) {
            EXPECT_EQ(requests[0].substr(0, want.size()), want) << c.name;
            EXPECT_NE(requests[0].find("\r\nHost: 127.0.0.1:"), std::string::npos) << c.name;
        }
    }
}

} // namespace
