#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "harness.h"

// Each BBS package reads the DSZ log with its own code. Here each reader is
// modelled from how that code reads a line, splits it, compares names and
// where it overflows or loops, and is fed the records vurel writes under
// that package's setting. It must credit exactly the files that moved, and
// never break.

namespace {

namespace fs = std::filesystem;

// What a reader made of a DSZ log.
struct Reading {
  std::set<std::string> downloads;  // the listed paths it credits
  std::set<std::string> uploads;    // the files in the upload directory it takes
  bool broke = false;               // a buffer overflow or an endless loop
};

std::string upper(std::string text) {
  for (char& c : text) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  return text;
}

std::string base_name(const std::string& path, const char* separators) {
  std::size_t at = path.find_last_of(separators);
  return at == std::string::npos ? path : path.substr(at + 1);
}

Lines words_of(const std::string& text, const char* separators) {
  Lines words;
  for (std::size_t start = 0; (start = text.find_first_not_of(separators, start)) != text.npos;) {
    std::size_t end = std::min(text.find_first_of(separators, start), text.size());
    words.push_back(text.substr(start, end - start));
    start = end;
  }
  return words;
}

// The text after `fields` runs of spaces.
std::string after_fields(const std::string& line, int fields) {
  std::size_t at = 0;
  for (int i = 0; i < fields && at != std::string::npos; ++i) {
    at = line.find(' ', at);
    if (at != std::string::npos) at = line.find_first_not_of(' ', at);
  }
  return at == std::string::npos ? "" : line.substr(at);
}

// Lines as fgets with a buffer of `size` bytes reads them: a longer line
// comes in pieces.
Lines read_lines(const std::string& log, std::size_t size) {
  Lines lines;
  for (const std::string& line : lines_of(log)) {
    for (std::size_t at = 0; at == 0 || at < line.size(); at += size - 1) {
      lines.push_back(line.substr(at, size - 1));
    }
  }
  return lines;
}

// Credits the first listed file whose compared form equals `name`.
void credit(Reading& reading, const Lines& listed, const std::string& name,
            std::string (*compared)(const std::string&)) {
  for (const std::string& path : listed) {
    if (compared(path) == name && reading.downloads.insert(path).second) return;
  }
}

bool regular(const std::string& path) { return fs::is_regular_file(fs::symlink_status(path)); }

std::string base_upper(const std::string& path) { return upper(base_name(path, "/\\")); }

// Synchronet's checkfname() with its defaults: no control byte, space or
// byte over 126, none of \ / | < > : " ; , % ? *, no "..", no leading "-"
// or ".", no trailing ".", at most 64 bytes.
bool synchronet_checks(const std::string& name) {
  if (name.empty() || name.size() > 64 || name.find("..") != std::string::npos || name[0] == '-' ||
      name[0] == '.' || name.back() == '.') {
    return false;
  }
  return std::none_of(name.begin(), name.end(), [](char c) {
    return static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) > 126 ||
           std::string_view("\\/|<>:\";,%?*").find(c) != std::string_view::npos;
  });
}

// Synchronet: the name after the 10th field less its last word, compared as
// a base name without case; uploads are the files found in its directory
// whose names its check accepts (the others it deletes uncredited).
Reading synchronet(const std::string& log, const Lines& listed, const std::string& up,
                   const std::string& start) {
  Reading reading;
  for (const std::string& line : read_lines(log, 4224)) {
    std::string name = after_fields(line, 10);
    name = name.substr(0, name.rfind(' '));
    if (line[0] == 'S' && words_of(line, " ").size() > 10) {
      credit(reading, listed, base_upper(name), base_upper);
    }
  }
  for (const auto& entry : fs::directory_iterator(start + "/" + up)) {
    std::string file = entry.path().filename();
    if (synchronet_checks(file) && regular(entry.path())) reading.uploads.insert(entry.path());
  }
  return reading;
}

// Mystic: the name part after 10 runs of spaces in a 255-byte string (it
// loops for ever when that cut leaves no space), cut back to its last
// space; base names in upper case; an upload is its base name at the top of
// the upload directory (renamed by Mystic itself when over 70 bytes).
Reading mystic(const std::string& log, const Lines& listed, const std::string& given,
               const std::string& start) {
  std::string up = start + "/" + given;
  Reading reading;
  for (const std::string& line : lines_of(log)) {
    std::string part = after_fields(line, 10);
    if (part.size() > 255 && part.substr(0, 255).find(' ') == std::string::npos) {
      reading.broke = true;
    }
    part = part.substr(0, 255);
    std::string base = base_name(part.substr(0, part.rfind(' ')), "/\\");
    if (line[0] == 'S') credit(reading, listed, upper(base), base_upper);
    if (line[0] == 'R' && base.size() <= 70 && regular(up + "/" + base)) {
      reading.uploads.insert(up + "/" + base);
    }
  }
  return reading;
}

// WWIV: the 11th word only, blank when it holds \ / : < > |, aligned to
// upper-case 8.3 in a 40-byte buffer per part; uploads are opened under the
// padded 8.3 name, which no Linux file has.
std::string aligned(const std::string& name) {
  if (name.find_first_of("\\/:<>|") != std::string::npos) return "";
  std::size_t dot = name.rfind('.');
  std::string stem = upper(name.substr(0, dot).substr(0, 8));
  std::string extension = dot == std::string::npos ? "" : upper(name.substr(dot + 1, 3));
  return stem + std::string(8 - stem.size(), ' ') + "." + extension +
         std::string(3 - extension.size(), ' ');
}
std::string aligned_base(const std::string& path) { return aligned(base_name(path, "/")); }
Reading wwiv(const std::string& log, const Lines& listed, const std::string&, const std::string&) {
  Reading reading;
  for (const std::string& line : read_lines(log, 4096)) {
    Lines words = words_of(line, " \t");
    if (words.size() < 11) continue;
    std::size_t dot = words[10].rfind('.');
    std::size_t extension = dot == std::string::npos ? 0 : words[10].size() - dot - 1;
    if (std::min(dot, words[10].size()) >= 40 || extension >= 40) reading.broke = true;
    if (line[0] == 'S') credit(reading, listed, aligned(words[10]), aligned_base);
  }
  return reading;
}

// Maximus: the line cut at 254 bytes, word 10 (from 0) split at space, tab
// and LF into a 120-byte buffer, its base name after \ / or : without case;
// an upload is that base name joined to the area's upload path in one
// 120-byte buffer.
std::string base_of_word(const std::string& path) { return upper(base_name(path, "\\/:")); }
Reading maximus(const std::string& log, const Lines& listed, const std::string& up,
                const std::string& start) {
  Reading reading;
  for (const std::string& line : lines_of(log)) {
    Lines words = words_of(line.substr(0, 254), " \t\n");
    if (words.size() < 11) continue;
    if (words[10].size() >= 120) reading.broke = true;
    std::string base = base_name(words[10], "\\/:");
    if (words[0] == "S") credit(reading, listed, upper(base), base_of_word);
    std::string joined = up + "/" + base;  // the upload path as the BBS gave it
    if (words[0] == "R" && joined.size() >= 120) reading.broke = true;
    if (words[0] == "R" && regular(start + "/" + joined))
      reading.uploads.insert(start + "/" + joined);
  }
  return reading;
}

// EleBBS with the keywords "R  " and "S  ": the upload keyword, then the
// download keyword, anywhere in a 255-byte line; word 10 from the keyword
// (space, tab and ; split); an upload is that path in upper case, looked up
// from the directory it started vurel in.
Reading elebbs(const std::string& log, const Lines& listed, const std::string&,
               const std::string& start) {
  Reading reading;
  for (std::string line : lines_of(log)) {
    line = line.substr(0, 255);
    std::size_t upload = line.find("R  ");
    std::size_t at = upload != std::string::npos ? upload : line.find("S  ");
    Lines words = at == std::string::npos ? Lines() : words_of(line.substr(at), " \t;");
    if (words.size() < 11) continue;
    if (upload == std::string::npos) credit(reading, listed, base_upper(words[10]), base_upper);
    std::string file = upper(words[10]);
    if (!file.starts_with('/')) file = start + "/" + file;
    if (upload != std::string::npos && regular(file)) reading.uploads.insert(file);
  }
  return reading;
}

struct Package {
  const char* name;
  // The DSZ log, the listed paths, the upload directory as vurel was given
  // it, the directory vurel started in.
  Reading (*read)(const std::string&, const Lines&, const std::string&, const std::string&);
  // What its reader cannot credit on Linux, by what stands in the upload
  // directory: it may miss those uploads, but never credit a wrong file.
  bool (*cannot_credit)(const fs::path& stored);
};

const Package kPackages[] = {
    {"synchronet", synchronet, nullptr},
    {"mystic", mystic, nullptr},
    // It opens uploads under the padded 8.3 name.
    {"wwiv", wwiv, [](const fs::path&) { return true; }},
    {"maximus", maximus, nullptr},
    {"elebbs", elebbs, nullptr},
};

struct Case {
  const char* what;
  Lines downloads;              // below the files directory
  Lines uploads;                // the names the caller sends
  bool cut_last = false;        // the transfer is cut off in its last file
  bool long_directory = false;  // the upload directory's path has 49 bytes
};

const std::string kLongName = std::string(196, 'n') + ".zip";
const std::string kLongPath = std::string(130, 'd') + "/" + std::string(130, 'e') + "/game.zip";

const Case kCases[] = {
    {"plain names", {"game.zip"}, {"report.txt"}},
    {"spaces", {"game.zip"}, {"my report (final).txt"}},
    {"shell metacharacters", {"game.zip"}, {"x;$(id)`&|<>'\"\\.txt"}},
    {"a 200-byte name", {"game.zip"}, {kLongName}},
    {"a path over 260 bytes", {kLongPath}, {"report.txt"}},
    {"UTF-8", {"game.zip"}, {"\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82.txt"}},
    {"a subdirectory upload", {"game.zip"}, {"sub/dir/x.zip"}},
    {"a batch", {"a.zip", "b.zip", "c.zip"}, {"one.zip", "two.zip", "three.zip"}},
    {"a cancel", {"a.zip", "b.zip"}, {"one.zip", "two.zip"}, true},
    {"names readers refuse",
     {"game.zip"},
     {"-rf.zip", ".hidden.txt", "trailing.", "a..b.zip", "semi;colon.zip"}},
    {"a 119-byte name in a 49-byte upload directory",
     {"game.zip"},
     {std::string(115, 'n') + ".zip"},
     false,
     true},
};

std::string shell_quoted(const std::string& text) {
  std::string result = "'";
  for (char c : text) result += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return result + "'";
}

class PackageTest : public ::testing::Test, public FakeTransfer {
 protected:
  // The fake program's run: each file reported (and, receiving, written),
  // the last one cut off by a signal when the case says so.
  std::string fake_run(const Case& c, bool sending) {
    std::string run;
    const Lines& names = sending ? c.downloads : c.uploads;
    for (std::size_t i = 0; i < names.size(); ++i) {
      std::string name = names[i];
      if (!sending) {
        run += "mkdir -p \"$(dirname " + shell_quoted(name) + ")\"; printf %s " +
               shell_quoted("upload " + std::to_string(i) + " of " + c.what) + " > " +
               shell_quoted(name) + "; ";
      }
      std::string reported = sending ? base_name(name, "/") : name;
      run += "printf '%s\\n' " + shell_quoted((sending ? "Sending: " : "Receiving: ") + reported) +
             " >&2; ";
    }
    return run + (c.cut_last ? "echo 'caught signal 15' >&2" : "echo 'Transfer complete' >&2");
  }
};

TEST_F(PackageTest, EachReaderCreditsExactlyWhatMoved) {
  for (const Package& package : kPackages) {
    configure(std::string("package = ") + package.name);
    for (const Case& c : kCases) {
      SCOPED_TRACE(std::string(package.name) + ": " + c.what);
      // Upper case: EleBBS finds uploads only under an upper-case path.
      std::string up = c.long_directory ? std::string(49, 'U') : "UP";
      std::string up_path = file(up);
      fs::remove_all(up_path);
      fs::remove_all(scratch.file("files"));
      fs::remove(file("dsz.log"));
      fs::create_directory(up_path);
      Lines listed;
      for (const std::string& name : c.downloads) {
        listed.push_back(scratch.file("files/" + name));
        fs::create_directories(fs::path(listed.back()).parent_path());
        write_file(listed.back(), "a download");
      }
      Lines env = {"VUREL_CONF=" + scratch.file("vurel.conf")};
      EXPECT_EQ(0, run({"--send", list(listed), "Z"}, fake_run(c, true), env).exit_code);
      EXPECT_EQ(0, run({"--receive", up, "Z"}, fake_run(c, false), env).exit_code);

      Reading reading = package.read(dsz_log(), listed, up, start());
      EXPECT_FALSE(reading.broke) << dsz_log();
      std::set<std::string> sent(listed.begin(), listed.end() - (c.cut_last ? 1 : 0));
      EXPECT_EQ(sent, reading.downloads) << dsz_log();
      // Uploads are known by their contents: vurel may have renamed them.
      std::set<std::string> moved;
      for (std::size_t i = 0; i + (c.cut_last ? 1 : 0) < c.uploads.size(); ++i) {
        moved.insert("upload " + std::to_string(i) + " of " + c.what);
      }
      std::set<std::string> credited;
      for (const std::string& path : reading.uploads) credited.insert(read_file(path));
      bool may_miss = false;
      for (const std::string& stored : files_named(up_path, "", "")) {
        may_miss = may_miss || (package.cannot_credit && package.cannot_credit(stored));
      }
      EXPECT_TRUE(may_miss || moved == credited) << dsz_log();
      EXPECT_TRUE(std::includes(moved.begin(), moved.end(), credited.begin(), credited.end()))
          << dsz_log();
    }
  }
}

}  // namespace

namespace {

// A record the package's reader could not take is never cut and never
// written: the screen says which file was not recorded and why.
TEST_F(PackageTest, RecordsItsReaderCannotTakeAreNeverWritten) {
  const std::string long_base = std::string(196, 'n') + ".zip";
  const struct {
    std::string settings;
    std::string because;
  } cases[] = {
      {"package = wwiv", "a part of its name around the last dot is longer than the 39 bytes"},
      {"package = maximus", "a word of its name is longer than the 119 bytes"},
      {"package = mystic\nrecord_name = path", "its record is longer than the 255 bytes"},
  };
  std::string listed = scratch.file("files/" + long_base);
  fs::create_directories(scratch.file("files"));
  write_file(listed, "a download");
  for (const auto& c : cases) {
    configure(c.settings);
    fs::remove(file("dsz.log"));
    RunResult result = run({"--send", list({listed, scratch.file("files/ok.zip")}), "Z"},
                           "echo 'Sending: " + long_base + "' >&2; echo 'Sending: ok.zip' >&2",
                           {"VUREL_CONF=" + scratch.file("vurel.conf")});
    EXPECT_TRUE(shows_unwrapped(result, "Not recorded : " + listed + " (" + c.because));
    EXPECT_EQ(std::string::npos, dsz_log().find("nnnn")) << c.settings;
    EXPECT_NE(std::string::npos, dsz_log().find("ok.zip -1\n")) << c.settings;
  }
}

// Only the transfer modes read the configuration; one that is wrong or
// unreadable stops them before anything is created.
TEST_F(PackageTest, WrongConfigurationStopsATransferBeforeItStarts) {
  fs::create_directory(scratch.file("a directory"));
  std::string conf = scratch.file("vurel.conf");
  const struct {
    std::string path;  // VUREL_CONF
    std::string text;  // written there when not empty
    std::string message;
  } wrong[] = {
      {conf, "package = pcboard\n", "Bad value for package : pcboard (" + conf + " line 1)"},
      {conf, "# set up\nlimit = 3\n", "Unknown setting : limit (" + conf + " line 2)"},
      {conf, "package = mystic\npackage = bogus\n",
       "Bad value for package : bogus (" + conf + " line 2)"},
      {scratch.file("a directory"), "",
       "Cannot read the configuration : " + scratch.file("a directory")},
      // A typo in VUREL_CONF never falls back on the default rules.
      {scratch.file("vurel.cnf"), "",
       "Cannot read the configuration : " + scratch.file("vurel.cnf")},
      // Never read whole, whatever the file is.
      {conf, "# " + std::string(70000, 'x') + "\n", "The configuration is too large : " + conf},
      {"/dev/zero", "", "The configuration is too large : /dev/zero"},
  };
  for (const auto& [path, text, message] : wrong) {
    if (!text.empty()) write_file(path, text);
    for (const Lines& args : {Lines{"--send", list({"a"}), "Z"}, Lines{"--receive", "up", "Z"}}) {
      fs::remove(scratch.file("record"));
      EXPECT_TRUE(shows(run(args, "", {"VUREL_CONF=" + path}), message + "\n", 1));
      EXPECT_FALSE(program_ran());
      EXPECT_EQ(Lines({file("list")}), files_named(start(), "", ""));
    }
    EXPECT_TRUE(shows(run({"--ver"}, "", {"VUREL_CONF=" + path}), "Vurel version 2.1\n", 0));
  }
}

// Where a package's reader can never find an upload, none is taken: EleBBS
// looks uploads up under their upper-cased path, Maximus joins the upload
// directory and the name in 120 bytes.
TEST_F(PackageTest, NoUploadWhereTheReaderCannotFindIt) {
  std::string too_long = std::string(117, 'U');
  fs::create_directory(file(too_long));
  const struct {
    std::string package;
    std::string destination;
    std::string shown;
    int exit_code;
  } cases[] = {
      {"elebbs", "uploads", "EleBBS finds uploads only under an upper-case path : uploads\n", 1},
      {"maximus", too_long, "Not placed : " + too_long + "/a.zip (no name fits)\n", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.package);
    configure("package = " + c.package);
    fs::remove(scratch.file("record"));
    RunResult result =
        run({"--receive", c.destination, "Z"}, "printf 'a' > a.zip; echo 'Receiving: a.zip' >&2");
    EXPECT_TRUE(shows_unwrapped(result, c.shown, c.exit_code));
    EXPECT_EQ(c.exit_code == 0, program_ran());
    EXPECT_EQ("", dsz_log());
  }
  EXPECT_FALSE(file_exists(file("uploads")));
  EXPECT_EQ(Lines(), files_named(file(too_long), "", ""));
}

// The value of `label` in a set-up block's line "label : value" (or
// "label   value"); empty when no line has it.
std::string field(const Lines& block, const std::string& label) {
  for (const std::string& line : block) {
    std::size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos || line.compare(start, label.size(), label) != 0) continue;
    std::size_t value = line.find_first_not_of(" :", start + label.size());
    if (value == start + label.size()) continue;  // a longer label
    return value == std::string::npos ? "" : line.substr(value);
  }
  return "";
}

// The set-up block that README.md gives for `package`: its indented lines.
Lines set_up_block(const std::string& readme, const std::string& package) {
  Lines block;
  std::size_t at = readme.find("<!-- set-up block: " + package + " -->");
  if (at == std::string::npos) return block;
  for (const std::string& line : lines_of(readme.substr(at))) {
    if (line.starts_with("    ")) {
      block.push_back(line);
    } else if (!block.empty()) {
      break;
    }
  }
  return block;
}

// Every block a sysop copies starts vurel: each command fits its field
// and names every program it starts by its full path (two packages search
// no PATH); each field the package needs holds what it must.
TEST(SetUpBlocks, EachFitsItsPackageAndNamesTheProgramByItsPath) {
  const std::string readme = read_file(README_PATH);
  const struct {
    std::string package;
    Lines commands;
    std::size_t most;                                        // bytes a command field holds
    std::vector<std::pair<std::string, std::string>> holds;  // a field and a text it holds
  } blocks[] = {
      {"synchronet",
       {"Batch Upload Command Line", "Batch Download Command Line"},
       100,
       {{"Supports DSZLOG", "Yes"}, {"Socket I/O", "No"}, {"Batch Upload Command Line", "%g"}}},
      {"mystic", {"Send Command", "Recv Command"}, 60, {{"Batch", "Yes"}}},
      {"wwiv",
       {"Send batch command line", "Receive batch command line"},
       80,
       {{"Batch Directory", "/"}, {"Receive batch command line", "%B"}}},
      {"maximus",
       {"DownloadCmd", "UploadCmd"},
       119,
       {{"Type", "Batch"},
        {"LogFile", "%K"},
        {"ControlFile", "%K"},
        {"UploadCmd", "--receive %v Z"},
        {"DownloadKeyword", "S"},
        {"UploadKeyword", "R"}}},
      {"elebbs",
       {"DL command line", "UL command line"},
       80,
       {{"Status", "Available"},
        {"DL ctl string", "@"},
        {"UL command line", "--receive # Z"},
        {"Log name word", "10"}}},
  };
  for (const auto& b : blocks) {
    SCOPED_TRACE(b.package);
    Lines block = set_up_block(readme, b.package);
    ASSERT_FALSE(block.empty());
    for (const std::string& label : b.commands) {
      std::string command = field(block, label);
      EXPECT_LE(command.size(), b.most) << label << ": " << command;
      Lines words = words_of(command, " ");
      std::size_t program = 0;
      if (!words.empty() && words[0].ends_with("/env")) {
        EXPECT_TRUE(words[0].starts_with('/')) << command;
        for (program = 1; program < words.size() && words[program].find('=') != std::string::npos;)
          ++program;
      }
      ASSERT_LT(program + 1, words.size()) << command;
      EXPECT_TRUE(words[program].starts_with('/') && words[program].ends_with("/vurel")) << command;
      EXPECT_TRUE(words[program + 1] == "--send" || words[program + 1] == "--receive") << command;
    }
    for (const auto& [label, text] : b.holds) {
      EXPECT_NE(std::string::npos, field(block, label).find(text)) << label;
    }
  }
}

}  // namespace
