// Where AccurateRip's answers come from: a file, a folder laid out like the
// database, and HTTP, against a server this test starts on 127.0.0.1 that
// answers as scripted (the database's own shape, and the ways a server can
// go wrong).

#include "LocalServer.h"
#include "TestSupport.h"
#include "VerifyTestSupport.h"
#include "verify/ResponseSource.h"

#include <filesystem>

namespace {

using namespace verifytest;

verify::DiscIds Ids() {
    const verify::DiscToc toc{1, 2, {{1, 0, true, {}}, {2, 15000, true, {}}}, 32000};
    std::string error;
    return *verify::ComputeDiscIds(toc, error);
}

// An answer as the database gives it, holding \r\n and zero bytes.
const std::string kAnswer = verify::FormatArResponse(
    {{0x0a0d0a0d, 0, 0x0d0a, {{3, 0x0a0d0000, 0}, {1, 0xffff, 0x0d0a0d0a}}}});

TEST(ResponseSource, HttpAnswersOfEveryShape) {
    const std::string big(verify::kMaxResponseBytes + 1, 'x');
    const struct {
        const char* name;
        std::function<Reply(const std::string&)> answer;
        verify::FetchResult::Status status;
        std::string says; // in the message; the body when Found
    } cases[] = {
        {"sized", [](const std::string&) { return Reply{Ok(kAnswer)}; },
         verify::FetchResult::Status::Found, kAnswer},
        {"chunked",
         [](const std::string&) {
             return Reply{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\na;x=1\r\n" +
                          kAnswer.substr(0, 10) + "\r\n15\r\n" + kAnswer.substr(10) +
                          "\r\n0\r\nX-Trailer: 1\r\n\r\n"};
         },
         verify::FetchResult::Status::Found, kAnswer},
        {"server fault",
         [](const std::string&) {
             return Reply{"HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n"};
         },
         verify::FetchResult::Status::Failed, "the server answered 500 Internal Server Error"},
        {"says it is too large",
         [&](const std::string&) {
             return Reply{"HTTP/1.1 200 OK\r\nContent-Length: 1048577\r\n\r\nxx"};
         },
         verify::FetchResult::Status::Failed, "larger than 1 MB"},
        {"too large in chunks",
         [&](const std::string&) {
             return Reply{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n80000\r\n" +
                          big.substr(0, 0x80000) + "\r\n80001\r\n" + big.substr(0, 0x80001) +
                          "\r\n0\r\n\r\n"};
         },
         verify::FetchResult::Status::Failed, "larger than 1 MB"},
        {"cut short",
         [](const std::string&) {
             return Reply{"HTTP/1.1 200 OK\r\nContent-Length: 500\r\n\r\n" + kAnswer};
         },
         verify::FetchResult::Status::Failed, "ends before its Content-Length"},
        {"not HTTP", [](const std::string&) { return Reply{"SSH-2.0-OpenSSH_9.2\r\n\r\n"}; },
         verify::FetchResult::Status::Failed, "not HTTP"},
        {"silent",
         [](const std::string&) {
             return Reply{"", true};
         },
         verify::FetchResult::Status::Failed, "timed out waiting for the answer"},
        {"redirected here",
         [](const std::string& path) {
             return path == "/moved/x.bin"
                        ? Reply{Ok(kAnswer)}
                        : Reply{"HTTP/1.1 302 Found\r\nLocation: /moved/x.bin\r\n\r\n"};
         },
         verify::FetchResult::Status::Found, kAnswer},
        {"redirected to https",
         [](const std::string&) {
             return Reply{"HTTP/1.1 301 Moved\r\nLocation: https://127.0.0.1/x.bin\r\n\r\n"};
         },
         verify::FetchResult::Status::Failed, "https is not supported"},
        {"redirected in a loop",
         [](const std::string&) { return Reply{"HTTP/1.1 307 Again\r\nLocation: /loop\r\n\r\n"}; },
         verify::FetchResult::Status::Failed, "more than 3 redirects"},
    };
    for (const auto& c : cases) {
        const LocalServer server(c.answer);
        verify::ResponseSource source;
        source.where = server.Base() + "accuraterip";
        source.http.timeout = std::chrono::milliseconds(500);
        const verify::FetchResult r = verify::FetchResponse(source, Ids());
        EXPECT_EQ(r.status, c.status) << c.name << ": " << r.message;
        if (r.status == verify::FetchResult::Status::Found) {
            EXPECT_EQ(r.bytes, c.says) << c.name;
        } else {
            EXPECT_NE(r.message.find(c.says), std::string::npos) << c.name << ": " << r.message;
        }
        EXPECT_EQ(r.message.find('\n'), std::string::npos) << c.name;
        // The database's file under the base, asked for once with HTTP/1.1.
        const auto requests = server.Requests();
        ASSERT_FALSE(requests.empty()) << c.name;
        const std::string want = "GET /accuraterip/" + Ids().arFileName + " HTTP/1.1\r\n";
        EXPECT_EQ(requests[0].substr(0, want.size()), want) << c.name;
        EXPECT_NE(requests[0].find("\r\nHost: 127.0.0.1:"), std::string::npos) << c.name;
    }
}

TEST(ResponseSource, AClosedPortIsToldAsSuch) {
    std::string base;
    {
        const LocalServer gone([](const std::string&) { return Reply{}; });
        base = gone.Base();
    }
    verify::ResponseSource source;
    source.where = base;
    const verify::FetchResult r = verify::FetchResponse(source, Ids());
    EXPECT_EQ(r.status, verify::FetchResult::Status::Failed);
    EXPECT_NE(r.message.find("cannot reach 127.0.0.1:"), std::string::npos) << r.message;
}

TEST(ResponseSource, FilesAndFoldersLaidOutLikeTheDatabase) {
    testsupport::TempFolder folder;
    const verify::DiscIds ids = Ids();
    const std::string inTree = folder.file("db/" + ids.arFileName);
    std::filesystem::create_directories(std::filesystem::path(inTree).parent_path());
    WriteFile(inTree, kAnswer);
    WriteFile(folder.file("big.bin"), std::string(verify::kMaxResponseBytes + 1, '\0'));
    using Kind = verify::ResponseSource::Kind;
    using Status = verify::FetchResult::Status;
    const struct {
        const char* name;
        Kind kind;
        std::string where;
        Status status;
        std::string says;
    } cases[] = {
        {"folder with a slash", Kind::Folder, folder.file("db/"), Status::Found, kAnswer},
        {"folder without the disc", Kind::Folder, folder.path(), Status::NotInDatabase,
         "not in the database (no file " + folder.file(ids.arFileName) + ")"},
        {"missing file", Kind::File, folder.file("none.bin"), Status::Failed,
         "cannot open " + folder.file("none.bin") + ": No such file or directory"},
        {"file over 1 MB", Kind::File, folder.file("big.bin"), Status::Failed,
         "more than the 1 MB"},
        {"a folder named as the file", Kind::File, folder.path(), Status::Failed, "is not a file"},
    };
    for (const auto& c : cases) {
        const verify::FetchResult r = verify::FetchResponse({c.kind, c.where, {}}, ids);
        EXPECT_EQ(r.status, c.status) << c.name << ": " << r.message;
        if (c.status == Status::Found) {
            EXPECT_EQ(r.bytes, c.says) << c.name;
        } else {
            EXPECT_NE(r.message.find(c.says), std::string::npos) << c.name << ": " << r.message;
        }
    }
}

} // namespace
