#pragma once
// Start-up's reading of the command line the desktop application gives: the program path,
// then a URL-encoded XML element ImportTav whose attribute "path" names the learning unit.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Byte-wise URL decoding: "%" and two hexadecimal digits (either case) give that byte, "+" a
// blank; a "%" without two hexadecimal digits after it (also at the end) stays as it is.
std::string UrlDecode(std::string_view text);

// The single command-line text Windows would hand over: the program path, then the arguments
// as passed, joined by blanks.
std::string JoinCommandLine(const std::vector<std::string>& arguments);

// The "path" attribute of the first top-level ImportTav element of the decoded command line
// (empty when the attribute is missing); nothing when there is no such element. The program
// path before the markup is only text to the parser, and ill-formed markup is not reported.
std::optional<std::u16string> FindImportTavPath(const std::u16string& decodedCommandLine);

// What start-up does with a command line.
struct SStartupPlan {
    bool showDialog = false; // false: end at once, silently
    std::u16string path;     // the unit shown in the dialog; may be empty
};

// Sets the application key names, decodes the command line (argv[0] first) and decides: a
// named unit opens the dialog with it; without one the dialog opens empty only when an account
// is signed in.
SStartupPlan PlanStartup(const std::vector<std::string>& arguments);
