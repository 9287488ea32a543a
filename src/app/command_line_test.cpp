#include "app/command_line.h"

#include <gtest/gtest.h>

namespace {

using Arguments = std::vector<std::string>;

}  // namespace

TEST(SplitCommandLine, BlanksSeparateAndQuotesGroup) {
    EXPECT_EQ(Arguments(), SplitCommandLine(""));
    EXPECT_EQ(Arguments(), SplitCommandLine(" \t "));
    EXPECT_EQ(Arguments({"/q", "/log"}), SplitCommandLine("  /q\t/log  "));
    EXPECT_EQ(Arguments({"/log:C:\\My Logs\\a.log", "/q"}),
              SplitCommandLine("\"/log:C:\\My Logs\\a.log\" /q"));
    EXPECT_EQ(Arguments({"/log:C:\\My Logs\\a.log"}), SplitCommandLine("/log:\"C:\\My Logs\\a.log\""));
    EXPECT_EQ(Arguments({""}), SplitCommandLine("\"\""));
    EXPECT_EQ(Arguments({"open end"}), SplitCommandLine("\"open end"));
}

TEST(SplitCommandLine, BackslashesAreLiteralUnlessAQuoteFollows) {
    EXPECT_EQ(Arguments({"/log:\\\\server\\share\\PC1.log"}),
              SplitCommandLine("/log:\\\\server\\share\\PC1.log"));
    // A folder given in quotes with its trailing backslash doubled.
    EXPECT_EQ(Arguments({"C:\\Logs\\", "/q"}), SplitCommandLine("\"C:\\Logs\\\\\" /q"));
    EXPECT_EQ(Arguments({"a\\\"b"}), SplitCommandLine("a\\\\\\\"b"));  // a\\\"b: one backslash, a quote
    EXPECT_EQ(Arguments({"a\\b c"}), SplitCommandLine("a\\\\\"b c\""));  // a\\"b c": quoting starts
    EXPECT_EQ(Arguments({"say \"hi\""}), SplitCommandLine("\"say \"\"hi\"\"\""));
    EXPECT_EQ(Arguments({"tail\\"}), SplitCommandLine("tail\\"));
}

TEST(ParseCommandLine, SwitchNamesIgnoreCaseAndTakeEitherPrefix) {
    for (const char* text : {"/quiet", "/QUIET", "-Quiet", "/q", "-Q", "/q /quiet"}) {
        const CommandLine options = ParseCommandLine(text);
        EXPECT_EQ(QMX_CMD_INSTALL, options.action) << text;
        EXPECT_TRUE(options.quiet) << text;
        EXPECT_FALSE(options.log) << text;
    }
    for (const char* text : {"/?", "-?", "/help", "/HELP", "-Help"}) {
        EXPECT_EQ(QMX_CMD_USAGE, ParseCommandLine(text).action) << text;
    }
    const CommandLine undo = ParseCommandLine("-UNDO /q /log");
    EXPECT_EQ(QMX_CMD_INSTALL, undo.action);
    EXPECT_TRUE(undo.undo && undo.quiet && undo.log);
    EXPECT_FALSE(ParseCommandLine("/q").undo);
    EXPECT_EQ(QMX_CMD_INVALID, ParseCommandLine("/undo:x").action);
}

TEST(ParseCommandLine, LogAtTheUsualPlaceOrAtAGivenPath) {
    const CommandLine usual = ParseCommandLine("-LOG");
    EXPECT_EQ(QMX_CMD_INSTALL, usual.action);
    EXPECT_TRUE(usual.log);
    EXPECT_EQ("", usual.logPath);

    // The path keeps its case and everything after the first colon.
    const CommandLine path = ParseCommandLine("/quiet /Log:\\\\Server\\Share\\PC1.log");
    EXPECT_EQ(QMX_CMD_INSTALL, path.action);
    EXPECT_TRUE(path.quiet);
    EXPECT_TRUE(path.log);
    EXPECT_EQ("\\\\Server\\Share\\PC1.log", path.logPath);
    EXPECT_EQ("C:\\a.log", ParseCommandLine("/log:C:\\a.log").logPath);

    // The last path given wins; a plain /log beside it does not undo it.
    EXPECT_EQ("B", ParseCommandLine("/log:A /log:B /log").logPath);
}

TEST(ParseCommandLine, AnythingElseIsInvalid) {
    for (const char* text :
         {"/quite", "/qq", "/quiet:", "/log:", "/log=C:\\a.log", "/logs", "--quiet", "/", "-",
          "quiet", "C:\\a.log", "\"\"", "/q x", "/h", "/? /bogus", "/bogus /help", "/q\xC2\xA0"}) {
        EXPECT_EQ(QMX_CMD_INVALID, ParseCommandLine(text).action) << text;
    }
}

TEST(ParseCommandLine, QuietAndLogAreReportedBesideAnInvalidArgument) {
    // So that "/quiet /quite" on a thousand machines shows no usage message.
    const CommandLine options = ParseCommandLine("/quiet /quite /log");
    EXPECT_EQ(QMX_CMD_INVALID, options.action);
    EXPECT_TRUE(options.quiet);
    EXPECT_TRUE(options.log);
    EXPECT_TRUE(ParseCommandLine("/? /q").quiet);
}
