// Main of the GUI tests: a QApplication on the offscreen platform unless the caller chose another, so the
// suite runs without a display.
#include <gtest/gtest.h>

#include <QApplication>
#include <csignal>

#include "tests/support/test_env.h"

static void InitIconResources() { Q_INIT_RESOURCE(resources); }

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  quill::test::UsePrivateHome();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  InitIconResources();
  quill::test::UsePrivateStore();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
