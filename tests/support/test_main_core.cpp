// Main of the core tests: a QCoreApplication (for QSettings' defaults), a private settings store, and
// SIGPIPE ignored as the tool does.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <csignal>

#include "tests/support/test_env.h"

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  quill::test::UsePrivateHome();
  QCoreApplication app(argc, argv);
  quill::test::UsePrivateStore();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
