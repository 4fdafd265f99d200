#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "harness.h"

// Real transfers: vurel runs the real lrzsz programs, and the caller's side
// is a real lrzsz program too, joined to vurel through a pair of pipes.

namespace {

class LrzszTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v sz rz sb rb sx rx >/dev/null 2>&1") != 0) {
      GTEST_SKIP() << "lrzsz is not installed";
    }
    for (const char* dir : {"/f", "/bbs", "/rcv"})
      std::filesystem::create_directory(scratch_.path() + dir);
  }

  PeerRunResult run(const Lines& args, const std::string& peer_command, bool zmodem_send,
                    const Lines& extra_env = {}, bool on_terminal = false) {
    RunOptions options;
    options.args = args;
    options.directory = bbs();
    options.env = {"PATH=/usr/bin:/bin", "DSZLOG=" + dsz()};
    for (const std::string& setting : extra_env) set_env(options.env, setting);
    options.timeout_seconds = 60;
    Peer peer{peer_command + " 2>" + scratch_.file("peer.log"), rcv(), zmodem_send};
    peer.on_terminal = on_terminal;
    PeerRunResult result = run_with_peer(options, peer);
    EXPECT_TRUE(result.peer_started) << result.vurel.output;
    EXPECT_TRUE(shows(result.vurel, on_terminal ? "Finished.\r\n" : "\nFinished.\n", 0));
    EXPECT_EQ("", result.vurel.error_output);
    return result;
  }

  void write_list(const Lines& names) {
    write_file(scratch_.file("list"), join_lines(names, "\n"));
  }

  std::string f(const std::string& name) { return scratch_.file("f/" + name); }
  std::string bbs() { return scratch_.file("bbs"); }
  std::string rcv() { return scratch_.file("rcv"); }
  std::string dsz() { return scratch_.file("dsz.log"); }

  Scratch scratch_;
};

// lrzsz's own rz, as a Linux caller's terminal runs it, takes new files
// whole and resumes the one it holds half of.
TEST_F(LrzszTest, ZmodemSendReachesLrzszRz) {
  std::string big = random_bytes(40000, 1);
  write_file(f("half.bin"), big);
  write_file(f("new.txt"), "the caller has none of this\n");
  write_file(f("fresh.bin"), random_bytes(3000, 9));
  write_file(scratch_.file("rcv/half.bin"), big.substr(0, 20000));
  write_list({f("new.txt"), f("fresh.bin"), f("missing.txt"), f("half.bin")});
  run({"--send", scratch_.file("list"), "Z"}, "rz -b -v", true);
  for (const char* name : {"new.txt", "fresh.bin", "half.bin"}) {
    EXPECT_TRUE(read_file(f(name)) == read_file(scratch_.file(std::string("rcv/") + name))) << name;
  }
  EXPECT_EQ(sent_record(f("new.txt")) + sent_record(f("fresh.bin")) + sent_record(f("half.bin")),
            read_file(dsz()));
}

TEST_F(LrzszTest, YmodemSendDeliversEveryFile) {
  write_file(f("a b.txt"), "with a space\n");
  write_file(f("data.bin"), random_bytes(70000, 2));
  write_list({f("a b.txt"), f("data.bin"), f("missing.txt")});
  run({"--send", scratch_.file("list"), "Y"}, "rb -b -y -v", false);
  EXPECT_EQ(read_file(f("a b.txt")), read_file(scratch_.file("rcv/a b.txt")));
  EXPECT_EQ(read_file(f("data.bin")), read_file(scratch_.file("rcv/data.bin")));
  EXPECT_EQ(sent_record(f("a b.txt")) + sent_record(f("data.bin")), read_file(dsz()));
}

TEST_F(LrzszTest, XmodemSendOfOneFile) {
  std::string data = random_bytes(1024 * 5, 3);
  write_file(f("x.bin"), data);
  write_list({f("x.bin")});
  run({"--send", scratch_.file("list"), "X"}, "rx -b -y -v x.bin", false);
  // Xmodem pads the last block; the data arrives whole at the front.
  EXPECT_EQ(data, read_file(scratch_.file("rcv/x.bin")).substr(0, data.size()));
  EXPECT_EQ(sent_record(f("x.bin")), read_file(dsz()));
}

// The protocol program cut off in the middle of a big file, by a kill or a
// dropped line: whatever its log says, the file that did not arrive whole
// gets no record.
TEST_F(LrzszTest, FilesCutOffMidwayAreNotCredited) {
  std::string cut_bin = scratch_.file("cut");
  std::filesystem::create_directory(cut_bin);
  for (const char* program : {"sz", "rz"})
    std::filesystem::copy_file(fixture_path("cut_midway.sh"), cut_bin + "/" + program);
  std::string big = random_bytes(8 << 20, 6);
  struct Case {
    const char* what;
    Lines args;
    std::string peer;
    std::string watch;
    const char* signal;
  };
  const Case cases[] = {
      {"sz killed", {"--send", scratch_.file("list"), "Z"}, "rz -b -y -v", "rcv/big.bin", "KILL"},
      // rz writes into its staging directory, its current directory.
      {"rz killed", {"--receive", "up", "Z"}, "sz -b whole.bin", "whole.bin", "KILL"},
      {"the line drops under a name that holds a status word",
       {"--receive", "up", "Z"},
       "sz -b 'x Transfer complete.bin'",
       "x Transfer complete.bin",
       "HUP"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    write_file(f("small.txt"), "small\n");
    write_file(f("big.bin"), big);
    write_list({f("small.txt"), f("big.bin")});
    write_file(scratch_.file("rcv/whole.bin"), big);
    write_file(scratch_.file("rcv/x Transfer complete.bin"), big);
    bool sending = c.args[0] == "--send";
    // The cutting stand-in runs the system's tools: unconfined.
    run(c.args, c.peer, sending,
        {"PATH=" + cut_bin + ":/usr/bin:/bin", "VUREL_CONF=" + unconfined_configuration(),
         "CUT_WATCH=" + (sending ? scratch_.file(c.watch) : c.watch), "CUT_AT=3000000",
         std::string("CUT_SIGNAL=") + c.signal});
    EXPECT_EQ(sending ? sent_record(f("small.txt")) : "", read_file(dsz()));
    // A cut-off upload is not placed in the upload directory.
    EXPECT_TRUE(sending || !file_exists(bbs() + "/up/" + c.watch));
    std::filesystem::remove_all(bbs() + "/up");
    std::filesystem::remove(dsz());
  }
}

// Paths are held whole: a 150-byte list path, a 300-byte path to a file
// whose base name is 250 bytes, a 300-byte DSZ log and upload directory.
TEST_F(LrzszTest, LongPathsAreHeldWhole) {
  std::string base = std::string(246, 'b') + ".bin";
  std::string dir = scratch_.file("f/") + std::string(300 - scratch_.file("f/").size() - 251, 'd');
  std::string long_dsz = scratch_.file(std::string(200, 'g') + "/");
  long_dsz += std::string(300 - long_dsz.size() - 4, 'h') + ".log";
  std::string up = bbs() + "/" + std::string(150, 'u') + "/";
  up += std::string(300 - up.size(), 'v');
  for (const std::string& d : {dir, long_dsz.substr(0, long_dsz.rfind('/')), up})
    std::filesystem::create_directories(d);
  ASSERT_EQ(300u, (dir + "/" + base).size());
  std::string data = random_bytes(5000, 7);
  write_file(dir + "/" + base, data);
  std::string list = scratch_.file(std::string(150 - scratch_.path().size() - 1, 'l'));
  write_file(list, dir + "/" + base + "\n");
  run({"--send", list, "Z"}, "rz -b -y -v", true, {"DSZLOG=" + long_dsz});
  EXPECT_TRUE(data == read_file(scratch_.file("rcv/" + base)));
  write_file(scratch_.file("rcv/up.txt"), "upload\n");
  run({"--receive", up, "Z"}, "sz -b up.txt", false, {"DSZLOG=" + long_dsz});
  EXPECT_EQ(sent_record(dir + "/" + base) + received_record(up + "/up.txt", 7),
            read_file(long_dsz));
}

TEST_F(LrzszTest, UploadsWithZmodemYmodemAndOnAGermanSystem) {
  write_file(scratch_.file("rcv/with space.txt"), "hello\n");
  write_file(scratch_.file("rcv/empty.txt"), "");
  write_file(scratch_.file("rcv/big.bin"), random_bytes(2 * 1024 * 1024, 4));
  // A German locale built for this test alone; under it lrzsz speaks German
  // ("Empfange:" for "Receiving:"), unless vurel runs it in the C locale.
  std::string locales = scratch_.file("locales");
  std::filesystem::create_directory(locales);
  ASSERT_EQ(0, std::system(("localedef -i de_DE -f UTF-8 '" + locales +
                            "/de_DE.UTF-8' >/dev/null 2>&1 && env LANG=de_DE.UTF-8 LOCPATH='" +
                            locales + "' sz -v /none </dev/null 2>&1 | grep -q nicht")
                               .c_str()))
      << "no German lrzsz here: the Debian package locales is needed";
  const std::pair<std::string, Lines> runs[] = {
      {"Z", {}}, {"Y", {}}, {"Z", {"LANG=de_DE.UTF-8", "LANGUAGE=de", "LOCPATH=" + locales}}};
  for (const auto& [letter, env] : runs) {
    run({"--receive", "up", letter},
        (letter == "Z" ? "sz" : "sb") + std::string(" -b 'with space.txt' empty.txt big.bin"),
        false, env);
    for (const char* name : {"with space.txt", "empty.txt", "big.bin"}) {
      EXPECT_EQ(read_file(scratch_.file(std::string("rcv/") + name)),
                read_file(bbs() + "/up/" + name))
          << name;
    }
    EXPECT_EQ(
        received_record("up/with space.txt", 6) + received_record("up/big.bin", 2 * 1024 * 1024),
        read_file(dsz()))
        << letter;
    std::filesystem::remove_all(bbs() + "/up");
    std::filesystem::remove(dsz());
  }
}

// Whatever already lies in the upload directory, an upload earns only
// the bytes it moved: rz writes into an empty staging directory, and what
// arrived whole replaces a file of its name.
TEST_F(LrzszTest, UploadsEarnOnlyTheirOwnBytes) {
  namespace fs = std::filesystem;
  std::string up = bbs() + "/up";
  std::string theirs = random_bytes(102400, 10);
  struct Case {
    const char* what;
    std::string caller;
    std::size_t size;  // of the caller's popular.zip
    std::string records;
    bool replaced;  // popular.zip is the caller's afterwards
  };
  const Case cases[] = {
      {"resume onto another caller's file", "sz -r popular.zip", 367,
       received_record("up/popular.zip", 367), true},
      {"crash recovery onto a longer file", "sz -r popular.zip", 1000,
       received_record("up/popular.zip", 1000), true},
      {"overwrite-or-skip", "sz -Y popular.zip", 2, "", false},
      {"append", "sz -+ popular.zip", 2, received_record("up/popular.zip", 2), true},
      {"a report forged through the command text, behind a directory link",
       "sz -c 'x\nReceiving: pub/old.zip\nReceiving: popular.zip\n'", 2, "", false},
      {"one file, four spellings", "sz -f -r sub/x.zip sub//x.zip sub/./x.zip sub/.//./x.zip", 2,
       received_record("up/sub/x.zip", 50000), false},
  };
  fs::create_directories(scratch_.file("files/pub"));
  fs::create_directories(scratch_.file("rcv/sub"));
  write_file(scratch_.file("rcv/sub/x.zip"), random_bytes(50000, 11));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::create_directory(up);
    write_file(up + "/popular.zip", theirs);
    fs::create_directory_symlink("../../files/pub", up + "/pub");
    write_file(scratch_.file("files/pub/old.zip"), std::string(7000, 'o'));
    std::string mine = random_bytes(c.size, 12);
    write_file(scratch_.file("rcv/popular.zip"), mine);
    run({"--receive", "up", "Z"}, c.caller, false);
    EXPECT_EQ(c.records, read_file(dsz()));
    EXPECT_TRUE((c.replaced ? mine : theirs) == read_file(up + "/popular.zip"));
    EXPECT_EQ(std::string(7000, 'o'), read_file(scratch_.file("files/pub/old.zip")));
    EXPECT_EQ(Lines(), files_named(up, ".vurel-", ""));
    fs::remove_all(up);
    fs::remove(dsz());
  }
}

// Two callers upload one name at once: each is credited for its own file.
TEST_F(LrzszTest, TwoCallersUploadOneName) {
  std::string second = scratch_.file("second");
  for (const char* dir : {"/second", "/second/rcv", "/second/bbs"})
    std::filesystem::create_directory(scratch_.path() + dir);
  write_file(scratch_.file("rcv/same.zip"), random_bytes(300000, 13));
  write_file(second + "/rcv/same.zip", random_bytes(200000, 14));
  std::string up = scratch_.file("up");
  auto caller = [&](const std::string& rcv, const std::string& bbs, const std::string& dsz) {
    RunOptions options;
    options.args = {"--receive", up, "Z"};
    options.directory = bbs;
    options.env = {"PATH=/usr/bin:/bin", "DSZLOG=" + dsz};
    options.timeout_seconds = 60;
    return run_with_peer(options, Peer{"sz -b same.zip 2>/dev/null", rcv});
  };
  auto other =
      std::async(std::launch::async, caller, second + "/rcv", second + "/bbs", second + "/dsz.log");
  PeerRunResult mine = caller(rcv(), bbs(), dsz());
  EXPECT_TRUE(shows(mine.vurel, "\nFinished.\n", 0));
  EXPECT_TRUE(shows(other.get().vurel, "\nFinished.\n", 0));
  EXPECT_EQ(received_record(up + "/same.zip", 300000), read_file(dsz()));
  EXPECT_EQ(received_record(up + "/same.zip", 200000), read_file(second + "/dsz.log"));
  std::string placed = read_file(up + "/same.zip");
  EXPECT_TRUE(placed == read_file(scratch_.file("rcv/same.zip")) ||
              placed == read_file(second + "/rcv/same.zip"));
}

// Under Mystic's setting, upload names its reader cannot take are made
// portable (at most 70 bytes), each into a free name, and records carry base
// names; a name it can take replaces a file as usual.
TEST_F(LrzszTest, MysticUploadsAreRenamedIntoFreeNames) {
  std::string up = bbs() + "/up";
  std::filesystem::create_directory(up);
  write_file(up + "/my_report_final_.txt", "someone else's");
  write_file(up + "/plain.txt", "someone else's");
  write_file(scratch_.file("vurel.conf"), "package = mystic\n");
  std::string long_name = std::string(90, 'l') + " x.zip";
  write_file(scratch_.file("rcv/my report (final).txt"), "mine\n");
  write_file(scratch_.file("rcv/plain.txt"), "plain\n");
  write_file(scratch_.file("rcv/" + long_name), "long\n");
  PeerRunResult result =
      run({"--receive", "up", "Z"}, "sz -b 'my report (final).txt' plain.txt '" + long_name + "'",
          false, {"VUREL_CONF=" + scratch_.file("vurel.conf")});
  std::string renamed_long = std::string(66, 'l') + ".zip";
  EXPECT_TRUE(
      shows(result.vurel, "Renamed : my report (final).txt -> up/my_report_final__1.txt\n"));
  EXPECT_EQ(received_record("my_report_final__1.txt", 5) + received_record("plain.txt", 6) +
                received_record(renamed_long, 5),
            read_file(dsz()));
  EXPECT_EQ("mine\n", read_file(up + "/my_report_final__1.txt"));
  EXPECT_EQ("someone else's", read_file(up + "/my_report_final_.txt"));
  EXPECT_EQ("plain\n", read_file(up + "/plain.txt"));
  EXPECT_EQ("long\n", read_file(up + "/" + renamed_long));
}

TEST_F(LrzszTest, LongUploadNameIsRecordedWhole) {
  std::string name = std::string(196, 'n') + ".txt";
  write_file(scratch_.file("rcv/" + name), "long\n");
  run({"--receive", "up", "Z"}, "sz -b " + name, false);
  EXPECT_EQ(received_record("up/" + name, 5), read_file(dsz()));
}

TEST_F(LrzszTest, XmodemUploadUnderTheNameTheBbsGives) {
  // rx -v logs "rx: ready to receive NAME", then "Bytes received: 5120 ...";
  // Xmodem pads the file to whole 128-byte blocks.
  std::string data = random_bytes(5000, 8);
  write_file(scratch_.file("rcv/data.bin"), data);
  run({"--receive", "up", "X", "got.bin"}, "sx -b data.bin", false);
  std::string got = read_file(bbs() + "/up/got.bin");
  EXPECT_EQ(5120u, got.size());
  EXPECT_EQ(data, got.substr(0, data.size()));
  EXPECT_EQ(received_record("up/got.bin", 5120), read_file(dsz()));
  // Cut off in the middle: no record.
  std::string cut_bin = scratch_.file("cut");
  std::filesystem::create_directory(cut_bin);
  std::filesystem::copy_file(fixture_path("cut_midway.sh"), cut_bin + "/rx");
  write_file(scratch_.file("rcv/big.bin"), random_bytes(1 << 20, 9));
  run({"--receive", "up", "X", "big.bin"}, "sx -b big.bin", false,
      {"PATH=" + cut_bin + ":/usr/bin:/bin", "VUREL_CONF=" + unconfined_configuration(),
       "CUT_WATCH=big.bin", "CUT_AT=100000", "CUT_SIGNAL=KILL"});
  EXPECT_FALSE(file_exists(bbs() + "/up/big.bin"));
  EXPECT_EQ(received_record("up/got.bin", 5120), read_file(dsz()));
}

// Every protocol both ways on a pseudo-terminal, the protocol program
// confined: every file moves whole, with the records of a pipe pair.
TEST_F(LrzszTest, EveryProtocolOnAPseudoTerminal) {
  std::string data = random_bytes(3072, 15);  // whole Xmodem blocks
  write_file(f("down.bin"), data);
  write_file(scratch_.file("rcv/up.bin"), data);
  write_list({f("down.bin")});
  const struct {
    std::string letter;
    std::string receiver;  // the caller's, for a download
    std::string sender;    // the caller's, for an upload
  } protocols[] = {{"Z", "rz -b -y", "sz -b up.bin"},
                   {"Y", "rb -b -y", "sb -b up.bin"},
                   {"X", "rx -b -y down.bin", "sx -b up.bin"}};
  for (const auto& p : protocols) {
    SCOPED_TRACE(p.letter);
    run({"--send", scratch_.file("list"), p.letter}, p.receiver, p.letter == "Z", {}, true);
    EXPECT_TRUE(data == read_file(scratch_.file("rcv/down.bin")));
    Lines args = {"--receive", "up", p.letter};
    if (p.letter == "X") args.push_back("up.bin");
    run(args, p.sender, false, {}, true);
    EXPECT_TRUE(data == read_file(bbs() + "/up/up.bin"));
    EXPECT_EQ(sent_record(f("down.bin")) + received_record("up/up.bin", 3072), read_file(dsz()));
    std::filesystem::remove(scratch_.file("rcv/down.bin"));
    std::filesystem::remove_all(bbs() + "/up");
    std::filesystem::remove(dsz());
  }
}

// An upload arrives as plain data: whatever mode the caller sent, it gets
// 0666 less the umask; a hidden name is not placed (under portable names
// its leading dot, or dash, becomes "_").
TEST_F(LrzszTest, UploadsArriveAsPlainData) {
  namespace fs = std::filesystem;
  const mode_t plain = plain_file_mode();
  std::string up = bbs() + "/up";
  fs::create_directory(up);
  write_file(up + "/.hid", "the file area's own\n");
  fs::copy_file("/usr/bin/id", scratch_.file("rcv/myid"));
  const std::pair<std::string, mode_t> sent[] = {
      {"myid", 04755}, {"group.bin", 02775}, {"open.txt", 0777}, {".hid", 0644}, {"-rf.zip", 0644}};
  std::string names;
  for (const auto& [name, mode] : sent) {
    if (name != "myid") write_file(scratch_.file("rcv/" + name), "from the caller\n");
    ASSERT_EQ(0, ::chmod(scratch_.file("rcv/" + name).c_str(), mode));
    names += " ./" + name;
  }
  write_file(scratch_.file("portable.conf"), "upload_names = portable\n");
  const struct {
    std::string conf;
    Lines placed;  // in the order sent
    std::string line;
  } cases[] = {
      {"",
       {"myid", "group.bin", "open.txt", "", "-rf.zip"},
       "Not placed : up/.hid (a hidden name)\n"},
      {scratch_.file("portable.conf"),
       {"myid", "group.bin", "open.txt", "_hid", "_rf.zip"},
       "Renamed : .hid -> up/_hid\n\xfe File Received :  up/_hid\n"
       "Renamed : -rf.zip -> up/_rf.zip\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.conf);
    PeerRunResult result = run({"--receive", "up", "Z"}, "sz -b" + names, false,
                               c.conf.empty() ? Lines() : Lines{"VUREL_CONF=" + c.conf});
    EXPECT_TRUE(shows(result.vurel, c.line));
    std::string records;
    for (std::size_t i = 0; i < c.placed.size(); ++i) {
      if (c.placed[i].empty()) continue;
      std::string path = up + "/" + c.placed[i];
      records += received_record("up/" + c.placed[i], static_cast<long long>(fs::file_size(path)));
      struct stat status;
      ASSERT_EQ(0, ::stat(path.c_str(), &status)) << path;
      EXPECT_EQ(plain, status.st_mode & 07777) << path;
    }
    EXPECT_EQ(records, read_file(dsz()));
    EXPECT_EQ("the file area's own\n", read_file(up + "/.hid"));
    for (const std::string& path : files_named(up, "", "")) {
      if (!path.ends_with("/.hid")) fs::remove(path);
    }
    fs::remove(dsz());
  }
}

// A name this run placed is never replaced by this run: a later file of
// the batch whose name needs no change takes the next free variant.
TEST_F(LrzszTest, NamesPlacedInARunAreNeverReplacedByIt) {
  const struct {
    std::string package;
    std::string first, second;                // as sent, in this order
    std::string first_placed, second_placed;  // below the upload directory
  } cases[] = {
      {"wwiv", "readme.txt", "README.TXT", "README.TXT", "README~1.TXT"},
      {"wwiv", "longname1.zip", "LONGNAME.ZIP", "LONGNAME.ZIP", "LONGNA~1.ZIP"},
      {"mystic", "my file.zip", "my_file.zip", "my_file.zip", "my_file_1.zip"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first + " then " + c.second);
    write_file(scratch_.file("vurel.conf"), "package = " + c.package + "\n");
    write_file(scratch_.file("rcv/" + c.first), "the first\n");
    write_file(scratch_.file("rcv/" + c.second), "the second!\n");
    PeerRunResult result =
        run({"--receive", "up", "Z"}, "sz -b '" + c.first + "' '" + c.second + "'", false,
            {"VUREL_CONF=" + scratch_.file("vurel.conf")});
    EXPECT_TRUE(shows(result.vurel, "Renamed : " + c.second + " -> up/" + c.second_placed + "\n"));
    EXPECT_EQ(received_record(c.first_placed, 10) + received_record(c.second_placed, 12),
              read_file(dsz()));
    EXPECT_EQ("the first\n", read_file(bbs() + "/up/" + c.first_placed));
    EXPECT_EQ("the second!\n", read_file(bbs() + "/up/" + c.second_placed));
    std::filesystem::remove_all(bbs() + "/up");
    std::filesystem::remove(dsz());
  }
}

}  // namespace
