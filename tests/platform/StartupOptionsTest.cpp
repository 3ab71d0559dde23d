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
