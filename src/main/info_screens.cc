#include "main/info_screens.h"

#include <string_view>

#include "main/version.h"
#include "runtime/console.h"

namespace {

// One literal per screen line, so that trailing spaces stay visible.
constexpr std::string_view kKnownIssues[] = {
    "Known Issues and Bugs (for this release, may be fixed future releases:",
    " o Xmodem receive fully functional. :-())",
    " o Protocol binaries MUST be located in your path! SYNOPSIS, Do \"man sz\" :/",
    " o Now really supports 240 files per session per send!   =]",
    " o Now allows long filenames (+ with spaces) on send + receive!  8-)",
    " o lrzsz - Logging now supported. Changed filename to \"vrl?z*.log\"  ;-)",
    " o Directory from which vurel was executed MUST be running with RW access :/",
    " o Front-end must have changedir permissions to the Destination path on",
    "   receive mode.  :/ ",
    " o DSZ.LOG generation is real and functional  >=)) ",
    "",
    "Please report bugs by e-mail to vurel@example.org ",
    "This release last compiled on 25th October, 1999.",
    "",
};

constexpr std::string_view kInfo[] = {
    "Vurel was written as an attempt to satisfy the growing need for a DSZ",
    "filelist compatible protocol set for the Linux operating system. I have",
    "written it aimed specifically at users of Linux ports of the RA 2+ BBS",
    "software, taking recognition of the fact there are already perfectly good",
    "command-line driven file transfer protocols distributed with most Linux",
    "packages. This front end grew out of beta-testing a BBS package for Linux.",
    "",
    "What this software is not: This is not a set of file transfer protocols.",
    "Whilst I am working on a fully featured DSZ compatible set of transfer",
    "protocols for Linux, this is only a \"WYSIWYG\" front-end to be used with",
    "the Omen lrzsz package supplied with popular Unix packages. It does not",
    "take the syntax of nor give ability to use another set of protocols. ",
    "",
    "If you like what you see, or want to report BUGS then send them to my ",
    "address, vurel@example.org, and they will be looked at for the",
    "next release.",
    "",
    "You must have a working /bin/sh executable and read/write privelage to the",
    "to the current directory at the time of execution! rz, sz, etc. must be in",
    "your path!",
};

constexpr std::string_view kUsageAfterFirstLine[] = {
    "Commandline usage: ",
    "",
    "   vurel --help / --info / --bugs        {displays help screens}",
    "   vurel --send <listfilename> <letter>  {send files in listfile}",
    "   vurel --receive <directory> <letter>  {receive files to directory}",
    "",
    "   --send  : *switches Vurel into file send mode ",
    "   <listfilename> :  full path of file list of file paths to send",
    "   <letter> :  specify prot. letter, (X)modem, (Y)modem, or (Z)modem",
    "",
    "   --receive :  *switches Vurel into file receive mode ",
    "   <directory> : Destination Dir",
    "   <letter> : specify prot. letter, (X)modem, (Y)modem, or (Z)modem",
    "",
    " --send and --receive MUST be the first parameters. Params are case and order",
    " sensitive. Spec`s marked in angle <> braces are NOT optional and must be ",
    " specified. Make sure binary execs rz.. sz.. rx.. sx.. rb.. sb are in $path !",
};

template <std::size_t N>
void print_lines(const std::string_view (&lines)[N]) {
  for (std::string_view line : lines) print_line(line);
}

}  // namespace

void show_usage_screen() {
  clear_screen();
  print_line({"Vurel v", kVersion, " by the Vurel developers <vurel@example.org>"});
  print_lines(kUsageAfterFirstLine);
}

void show_info_screen() { print_lines(kInfo); }

void show_known_issues_screen() { print_lines(kKnownIssues); }
