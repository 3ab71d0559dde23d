#include "platform/StartupOptions.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using platform::CommandLine;
using platform::ParseCommandLine;
using platform::ResolveStartupOptions;

TEST(StartupOptions, CommandLineOptions) {
  auto line = ParseCommandLine({"--data-root", "/atlas", "--work-mode=1"});
  EXPECT_TRUE(line.Error.isEmpty());
  EXPECT_EQ(line.DataRoot, QString("/atlas"));
  EXPECT_EQ(line.WorkMode, 1);
  EXPECT_TRUE(ParseCommandLine({"--help"}).Help);
  EXPECT_TRUE(ParseCommandLine({"--version"}).Version);
  EXPECT_FALSE(ParseCommandLine({"--work-mode", "x"}).Error.isEmpty());
  EXPECT_FALSE(ParseCommandLine({"--work-mode", "300"}).Error.isEmpty());
  EXPECT_FALSE(ParseCommandLine({"--data-root"}).Error.isEmpty());
  EXPECT_FALSE(ParseCommandLine({"--colour"}).Error.isEmpty());
  EXPECT_TRUE(ParseCommandLine({"-platform", "offscreen"}).Error.isEmpty());
}

TEST(StartupOptions, CommandLineBeatsEnvironmentBeatsIni) {
  QTemporaryDir app;
  {
    QFile ini(app.path() + "/vandrel.ini");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Data]\r\nWorkMode=2\r\nRoot=/from/ini\r\n");
  }
  QProcessEnvironment none;
  auto options = ResolveStartupOptions(CommandLine{}, none, app.path());
  EXPECT_EQ(options.WorkMode, 2);
  EXPECT_EQ(options.DataRoot, "/from/ini");
  QProcessEnvironment env;
  env.insert("VANDREL_WORK_MODE", "3");
  env.insert("VANDREL_DATA_ROOT", "/from/env");
  options = ResolveStartupOptions(CommandLine{}, env, app.path());
  EXPECT_EQ(options.WorkMode, 3);
  EXPECT_EQ(options.DataRoot, "/from/env");
  CommandLine line;
  line.WorkMode = 0;
  line.DataRoot = "/from/line";
  options = ResolveStartupOptions(line, env, app.path());
  EXPECT_EQ(options.WorkMode, 0);
  EXPECT_EQ(options.DataRoot, "/from/line");
}

TEST(StartupOptions, DefaultsAndUnusableValues) {
  QTemporaryDir app;
  auto options = ResolveStartupOptions(CommandLine{}, QProcessEnvironment(), app.path());
  EXPECT_EQ(options.WorkMode, 0);
  EXPECT_TRUE(options.DataRoot.isEmpty());
  QProcessEnvironment env;
  env.insert("VANDREL_WORK_MODE", "1");
  EXPECT_THROW(ResolveStartupOptions(CommandLine{}, env, app.path()), std::runtime_error)
      << "no data root";
  env.insert("VANDREL_WORK_MODE", "one");
  EXPECT_THROW(ResolveStartupOptions(CommandLine{}, env, app.path()), std::runtime_error);
}

TEST(StartupOptions, ARelativeRootInTheIniFileIsBesideTheProgram) {
  QTemporaryDir app;
  QFile ini(app.path() + "/vandrel.ini");
  ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
  ini.write("[Data]\r\nRoot=atlas\\city\r\n");
  ini.close();
  const auto options = ResolveStartupOptions({}, QProcessEnvironment(), app.path());
  EXPECT_EQ(options.DataRoot, app.path() + "/atlas/city");
  // A root given on the command line stays as given.
  CommandLine line;
  line.DataRoot = "relative/here";
  EXPECT_EQ(ResolveStartupOptions(line, QProcessEnvironment(), app.path()).DataRoot,
            "relative/here");
}

TEST(StartupOptions, IdentifyTakesAPointWithADecimalPointAndAScale) {
  auto line = ParseCommandLine({"--identify", "320339.17,5590005.5", "--scale=2000"});
  ASSERT_TRUE(line.Error.isEmpty()) << line.Error.toStdString();
  ASSERT_TRUE(line.IdentifyAt);
  EXPECT_DOUBLE_EQ(line.IdentifyAt->first, 320339.17);
  EXPECT_DOUBLE_EQ(line.IdentifyAt->second, 5590005.5);
  EXPECT_DOUBLE_EQ(line.IdentifyScale, 2000);
  EXPECT_DOUBLE_EQ(ParseCommandLine({"--identify=1,2"}).IdentifyScale, 500) << "the default";
  // A decimal comma (the users' desktop writes one) cannot be told from the separator.
  EXPECT_FALSE(ParseCommandLine({"--identify", "320339,17,5590005,5"}).Error.isEmpty());
  EXPECT_FALSE(ParseCommandLine({"--identify", "nan,1"}).Error.isEmpty());
  EXPECT_FALSE(ParseCommandLine({"--identify"}).Error.isEmpty());
  EXPECT_FALSE(ParseCommandLine({"--identify=1,2", "--scale", "0"}).Error.isEmpty());
}
