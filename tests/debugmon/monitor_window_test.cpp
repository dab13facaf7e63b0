// The monitors with the real Qt output view, offscreen: the window the user sees, its text, its close box,
// and what is left when the monitor stops. The datagrams come from the simulator's sender.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTest>
#include <memory>
#include <optional>
#include <regex>

#include "app/output_view.h"
#include "app/qt_ui.h"
#include "debugmon/monitor_thread.h"
#include "platform/process_events.h"
#include "resources/dialog_template.h"
#include "sim/datagram_sender.h"
#include "tests/support/fake_ui.h"
#include "tests/support/loopback.h"
#include "tests/support/test_env.h"
#include "tests/support/transport_harness.h"
#include "transport/net_helpers.h"

namespace quill {
namespace {

using namespace test;

constexpr const char* kPhone = loopback::kMonitorWindowPhone.dotted;
const QString P = QString(kPhone) + ": ";

QWidget* TopLevel(const QString& caption) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->windowTitle() == caption) return w;
  return nullptr;
}

struct Row {
  const char* caption;
  bool (*start)(std::optional<ThreadHandle>& held, Ui& ui, uint32_t listenAddress);
  void (*stop)(std::optional<ThreadHandle>& held);
  uint16_t port;
  const char* address;
  const char* screenshot;
  std::vector<std::string> datagrams;
  QString shown;
};

TEST(MonitorWindow, ShowsTheTextOfEachPhoneMinimisesOnCloseAndGoesWithTheMonitor) {
  using namespace std::string_literals;
  ScopedProcessEvents events;
  ScopedHostNameLookup host(
      [](const std::string&) -> std::optional<uint32_t> { return loopback::kMonitorWindowHost.Network(); });
  const Row rows[] = {
      {"Udp Debug Output",
       &CUdpDebugThread::Start,
       &CUdpDebugThread::Stop,
       sim::kDebugPort,
       loopback::kMonitorWindowDebug.dotted,
       "udp_debug_output.png",
       {"0x1181 0\r\n\0"s, "0x1018 3\r\n\0 0x1031 2\r\n\0"s, "0x1085 112\r\n", "0x10a5 8\r\n\0"s, "abc"},
       P + "VT2088 Powered 0\n" + P + "arp send 3\n" + P + " dns result 2\n" + P +
           "ras adm rej--resource unavailable 112\n" + P + "h2250 release complete--gatekeeperResources 8\n" +
           P + "abc"},
      {"Cdr Debug Output",
       &CCdrDebugThread::Start,
       &CCdrDebugThread::Stop,
       sim::kCdrPort,
       loopback::kMonitorWindowCdr.dotted,
       "cdr_debug_output.png",
       {"CDR 0x10f8 2024-01-01 10:00:00 call duration 12\r\n", "CDR 0x1018 00:00:05\r\n", "abc"},
       P + "CDR 0x10f8 2024-01-01 10:00:00 call duration 12\n" + P + "CDR 0x1018 00:00:05\n" + P + "abc"},
  };
  {
    // The first text Qt lays out and paints starts pool threads that it keeps for a while: they must not
    // count as the monitor's.
    QPlainTextEdit warmUp;
    warmUp.setPlainText(QString(loopback::kOnlyInText.dotted) + ": warm-up\n");
    warmUp.show();
    warmUp.grab();
    QApplication::processEvents();
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(row.caption);
    QtUi ui;
    LogWatch log;
    Census before;
    std::optional<ThreadHandle> held;
    ASSERT_TRUE(row.start(held, ui, Ip(row.address)));
    ASSERT_TRUE(log.WaitFor("UDP IO thread starting\n"));
    sim::DatagramSender phone(kPhone, row.address);
    ASSERT_TRUE(phone.Open()) << phone.Error();
    const uint16_t port = row.port;
    for (const std::string& d : row.datagrams) ASSERT_TRUE(phone.Send(port, Text(d)));

    QPointer<QWidget> window;
    QPlainTextEdit* edit = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          window = TopLevel(row.caption);
          edit = window ? gui::Control<QPlainTextEdit>(window, 1029) : nullptr;
          return edit && edit->toPlainText() == row.shown;
        },
        10000))
        << (edit ? edit->toPlainText().toStdString() : "no window");
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());
    EXPECT_EQ(window->pos(), QPoint(0, 0));
    EXPECT_EQ(edit->geometry(), QRect(0, 0, 594, 375));
    EXPECT_FALSE(edit->isReadOnly());
    EXPECT_EQ(edit->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(edit->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint) && flags.testFlag(Qt::WindowSystemMenuHint) &&
                flags.testFlag(Qt::WindowMinimizeButtonHint));
    // The template's size, fixed: no sizing border, no maximise box, and a resize changes nothing.
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(window->minimumSize(), QSize(594, 375));
    EXPECT_EQ(window->maximumSize(), QSize(594, 375));
    window->resize(800, 600);
    EXPECT_EQ(window->size(), QSize(594, 375));
    QDir().mkpath(QUILL_TEST_BINARY_DIR "/screenshots");
    EXPECT_TRUE(window->grab().save(QString(QUILL_TEST_BINARY_DIR "/screenshots/") + row.screenshot));

    // The close box only minimises: the monitor goes on showing what comes.
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isMinimized());
    ASSERT_TRUE(phone.Send(port, Text("\nafter close\n")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return edit->toPlainText().endsWith(P + "\nafter close\n"); }, 10000))
        << edit->toPlainText().toStdString();
    EXPECT_EQ(TopLevel(row.caption), window.data());

    // Stopping takes the window and its text with it.
    row.stop(held);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 10000));
    phone.Close();
    EXPECT_TRUE(before.Back()) << before.Describe();
  }
}

// The view the monitors show into, fed faster than one turn of the event loop takes in.
TEST(MonitorWindow, TheViewShowsEveryTextAsItCameHoweverTheTextsAreBatched) {
  auto view = CreateQtOutputView({.caption = "Batched Output", .controlId = 1029});
  view->Show();
  QPointer<QWidget> window;
  QPlainTextEdit* edit = nullptr;
  auto shows = [&](const QString& end) {
    return QTest::qWaitFor(
        [&] {
          window = TopLevel("Batched Output");
          edit = window ? gui::Control<QPlainTextEdit>(window, 1029) : nullptr;
          return edit && edit->toPlainText().endsWith(end);
        },
        10000);
  };
  view->Append("first\r");
  ASSERT_TRUE(shows("first"));
  // One line end, though the phone's CR LF was split between two pieces shown in different turns.
  view->Append("\nsecond\r\n");
  QString expected = "first\nsecond\n";
  view->Append("caf\xc3\xa9 ");  // UTF-8
  view->Append("caf\xe9\n");     // not UTF-8: read byte by byte, whatever came before
  expected += QString::fromUtf8("caf\xc3\xa9 caf\xc3\xa9\n");
  std::string backlog;
  for (int i = 0; i < kOutputViewMaxLines / 2; ++i)
    backlog += loopback::kOnlyInText + ": line " + std::to_string(i) + "\n";
  view->Append(backlog);  // several turns' worth
  view->Append("end\n");
  expected += QString::fromStdString(backlog) + "end\n";
  ASSERT_TRUE(shows("end\n"));
  EXPECT_TRUE(edit->toPlainText() == expected) << edit->toPlainText().left(200).toStdString();
  EXPECT_FALSE(edit->document()->isUndoRedoEnabled());
  // A view that goes with a backlog still to show takes its window with it, for good.
  view->Append(backlog);
  QTest::qWait(0);  // the first part is shown; the rest waits for later turns
  view.reset();
  EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 10000));
  QTest::qWait(50);
  EXPECT_EQ(TopLevel("Batched Output"), nullptr);
}

// A monitor left running under a fast phone holds a fixed amount: the view keeps the newest whole lines up to
// its line bound, and the newest characters up to its character bound when a phone never ends a line. What
// is kept is the text as it came, byte for byte.
TEST(MonitorWindow, TheViewKeepsTheNewestTextUpToItsBounds) {
  struct Case {
    const char* caption;
    std::vector<std::string> texts;  // appended in turn, each shown before the next
  };
  std::string lines;
  for (int i = 0; i < kOutputViewMaxLines + 7; ++i)
    lines += loopback::kOnlyInText + ": line " + std::to_string(i) + "\n";
  const std::string partial = loopback::kOnlyInText + ": no end yet";
  // Long lines, so that the characters bind before the lines do.
  const auto piece = [](char c) {
    std::string text;
    while (text.size() < static_cast<size_t>(kOutputViewMaxChars / 2)) text += std::string(999, c) + "\n";
    return text;
  };
  const Case cases[] = {
      {"Lines Output", {lines.substr(0, lines.size() / 2), lines.substr(lines.size() / 2), partial}},
      {"Chars Output", {piece('a'), piece('b'), piece('c') + "end"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caption);
    auto view = CreateQtOutputView({.caption = c.caption, .controlId = 1029});
    view->Show();
    std::string all;
    QPlainTextEdit* edit = nullptr;
    for (const std::string& text : c.texts) {
      view->Append(text);
      all += text;
      const QString end = QString::fromStdString(all.substr(all.size() - 20));
      ASSERT_TRUE(QTest::qWaitFor(
          [&] {
            QWidget* window = TopLevel(c.caption);
            edit = window ? gui::Control<QPlainTextEdit>(window, 1029) : nullptr;
            return edit && edit->toPlainText().endsWith(end);
          },
          30000));
    }
    const QString shown = edit->toPlainText();
    EXPECT_LE(edit->document()->blockCount(), kOutputViewMaxLines + 1);
    EXPECT_LE(shown.size(), kOutputViewMaxChars);
    // The newest text, whole lines and in order: a tail of everything appended, from a line's start on.
    const QString appended = QString::fromStdString(all);
    EXPECT_TRUE(appended.endsWith(shown));
    EXPECT_EQ(appended.at(appended.size() - shown.size() - 1), '\n');
    if (c.texts[2] == partial)
      EXPECT_TRUE(shown.startsWith(QString::fromStdString(loopback::kOnlyInText + ": line 7\n")))
          << shown.left(60).toStdString();
    else
      EXPECT_GT(shown.size(), kOutputViewMaxChars / 2);
    view.reset();
    QTest::qWait(0);
  }
}

// The context menu keeps the standard edit entries and adds "Save As..." and "Show timestamps": lines that
// begin after the check carry the time they came, and the text is saved through the file layer.
TEST(OutputWindowMenu, SaveAsAndShowTimestampsBesideTheEditEntries) {
  FakeUi ui;
  TempDir dir;
  auto view = CreateQtOutputView({.caption = "Rs232 Output", .controlId = 1027}, &ui);
  view->Append("first\n");
  view->Show();
  ASSERT_TRUE(QTest::qWaitFor([] { return TopLevel("Rs232 Output") != nullptr; }, 10000));
  QPointer<OutputWindow> window = qobject_cast<OutputWindow*>(TopLevel("Rs232 Output"));
  ASSERT_TRUE(window);
  QPointer<QMenu> menu = window->CreateContextMenu();
  for (const char* name : {"edit-copy", "edit-paste", "select-all", "saveAs", "showTimestamps"})
    EXPECT_NE(menu->findChild<QAction*>(name), nullptr) << name;
  menu->findChild<QAction*>("showTimestamps")->trigger();
  EXPECT_TRUE(window->TimestampsShown());
  delete menu.data();

  view->Append("sec");  // the line begins now, the rest of it is not stamped again
  view->Append("ond\nthird\n");
  QPlainTextEdit* edit = window->Edit();
  ASSERT_TRUE(QTest::qWaitFor([&] { return edit->toPlainText().endsWith("third\n"); }, 10000));
  const std::string shown = edit->toPlainText().toStdString();
  const std::string stamp = R"(\[[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}\] )";
  EXPECT_TRUE(std::regex_match(shown, std::regex("first\n" + stamp + "second\n" + stamp + "third\n")))
      << shown;

  struct Case {
    std::optional<std::string> answer;
    bool saved;
    std::string message;
  };
  const Case cases[] = {{dir.File("out.txt"), true, ""},
                        {std::nullopt, false, ""},
                        {dir.Path(), false, "Can not create dest file\n" + dir.Path() + ": Is a directory"}};
  for (const Case& c : cases) {
    ui.AnswerFile(c.answer);
    ui.messages.clear();
    EXPECT_EQ(window->SaveAs(), c.saved);
    EXPECT_EQ(ui.messages.empty() ? "" : ui.messages[0].text, c.message);
  }
  EXPECT_EQ(ReadFile(dir.File("out.txt")), shown);
  ASSERT_FALSE(ui.fileDialogs.empty());
  EXPECT_EQ(ui.fileDialogs[0].mode, FileDialogSpec::Mode::Save);
  EXPECT_EQ(ui.fileDialogs[0].role, FileDialogSpec::Role::Destination);
  view.reset();
  EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 10000));
}

}  // namespace
}  // namespace quill
