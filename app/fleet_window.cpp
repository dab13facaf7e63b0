#include "app/fleet_window.h"

#include <unistd.h>

#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <map>
#include <set>

#include "fleet/inventory.h"
#include "fleet/report.h"
#include "fleet/runner.h"
#include "platform/file_io.h"
#include "platform/ui.h"

namespace quill {
namespace {

enum Column { kAddress, kName, kState, kProgress, kMessage, kColumns };

// The commands the window runs: each takes a file, but ping.
struct WindowCommand {
  const char* name;
  bool file;
};
constexpr WindowCommand kCommands[] = {{"ping", false},       {"update-program", true},
                                       {"update-ring", true}, {"update-map", true},
                                       {"update-hold", true}, {"update-alternate", true}};

bool TakesFile(const QString& command) {
  for (const WindowCommand& c : kCommands)
    if (command == c.name) return c.file;
  return false;
}

}  // namespace

FleetWindow::FleetWindow(Ui& ui, QWidget* parent) : QDialog(parent), ui_(ui) {
  setWindowTitle("Fleet");
  table_ = new QTableWidget(0, kColumns, this);
  table_->setHorizontalHeaderLabels({"Address", "Name", "State", "Progress", "Message"});
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->verticalHeader()->setVisible(false);
  command_ = new QComboBox(this);
  for (const WindowCommand& c : kCommands) command_->addItem(c.name);
  command_->setCurrentText("update-program");
  file_ = new QLineEdit(this);
  runFolder_ = new QLineEdit(this);
  runFolder_->setPlaceholderText("fleet-YYYYMMDD-HHMMSS in the current folder");
  jobs_ = new QSpinBox(this);
  jobs_->setRange(1, 500);
  jobs_->setValue(8);
  retries_ = new QSpinBox(this);
  retries_->setRange(0, 10);
  start_ = new QPushButton("Start", this);
  stop_ = new QPushButton("Stop", this);
  stop_->setEnabled(false);
  total_ = new QProgressBar(this);
  summary_ = new QLabel(this);
  summary_->setWordWrap(true);
  summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* load = new QPushButton("Load CSV...", this);
  auto* add = new QPushButton("Add row", this);
  auto* remove = new QPushButton("Remove row", this);
  auto* browse = new QPushButton("...", this);
  auto* rows = new QHBoxLayout;
  rows->addWidget(load);
  rows->addWidget(add);
  rows->addWidget(remove);
  rows->addStretch();
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(file_);
  fileRow->addWidget(browse);
  auto* form = new QFormLayout;
  form->addRow("Command", command_);
  form->addRow("File", fileRow);
  form->addRow("Phones at once", jobs_);
  form->addRow("Retries", retries_);
  form->addRow("Run folder", runFolder_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(start_);
  buttons->addWidget(stop_);
  buttons->addWidget(total_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(rows);
  layout->addWidget(table_, 1);
  layout->addLayout(form);
  layout->addLayout(buttons);
  layout->addWidget(summary_);
  resize(760, 520);

  timer_ = new QTimer(this);
  timer_->setInterval(200);
  connect(timer_, &QTimer::timeout, this, &FleetWindow::Refresh);
  connect(load, &QPushButton::clicked, this, [this] {
    FileDialogSpec spec;
    spec.mode = FileDialogSpec::Mode::Open;
    spec.role = FileDialogSpec::Role::Source;
    spec.defaultExt = "*.csv";
    spec.filter = "Inventory (*.csv)|*.csv|All files (*.*)|*.*||";
    if (auto path = ui_.FileDialog(spec)) LoadInventory(QString::fromStdString(*path));
  });
  connect(add, &QPushButton::clicked, this, [this] { AddRow({}, {}); });
  connect(remove, &QPushButton::clicked, this, [this] {
    if (!Running() && table_->currentRow() >= 0) table_->removeRow(table_->currentRow());
  });
  connect(browse, &QPushButton::clicked, this, [this] {
    FileDialogSpec spec;
    spec.mode = FileDialogSpec::Mode::Open;
    spec.role = FileDialogSpec::Role::Source;
    spec.filter = "All files (*.*)|*.*||";
    if (auto path = ui_.FileDialog(spec)) file_->setText(QString::fromStdString(*path));
  });
  connect(command_, &QComboBox::currentTextChanged, this,
          [this](const QString& c) { file_->setEnabled(TakesFile(c)); });
  connect(start_, &QPushButton::clicked, this, [this] { Start(); });
  connect(stop_, &QPushButton::clicked, this, [this] { Stop(); });
}

FleetWindow::~FleetWindow() {
  // A window closed while its run goes on stops it as a second Ctrl-C does, and waits for the phones
  // that are past their command byte.
  if (runner_) {
    runner_->RequestStop();
    runner_->RequestStop();
  }
  if (thread_.joinable()) thread_.join();
}

void FleetWindow::AddRow(const QString& address, const QString& name) {
  const int row = table_->rowCount();
  table_->insertRow(row);
  table_->setItem(row, kAddress, new QTableWidgetItem(address));
  table_->setItem(row, kName, new QTableWidgetItem(name));
  for (int c : {kState, kMessage}) {
    auto* item = new QTableWidgetItem;
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    table_->setItem(row, c, item);
  }
  auto* bar = new QProgressBar(table_);
  bar->setRange(0, 100);
  bar->setValue(0);
  table_->setCellWidget(row, kProgress, bar);
}

bool FleetWindow::LoadInventory(const QString& path) {
  const fleet::Inventory inventory = fleet::ReadInventory(path.toStdString());
  if (!inventory.Ok()) {
    std::string text = fleet::DescribeProblems(inventory, path.toStdString());
    if (text.empty()) text = path.toStdString() + ": no phones\n";
    ui_.Message(text);
    return false;
  }
  table_->setRowCount(0);
  for (const fleet::Phone& p : inventory.phones)
    AddRow(QString::fromStdString(p.address), QString::fromStdString(p.name));
  return true;
}

void FleetWindow::SetCommand(const QString& command, const QString& file) {
  command_->setCurrentText(command);
  file_->setText(file);
}

void FleetWindow::SetRunFolder(const QString& folder) {
  runFolder_->setText(folder);
}

void FleetWindow::SetJobs(int jobs) {
  jobs_->setValue(jobs);
}

QString FleetWindow::ChildProgram() const {
  // The command line beside the window's executable (a build tree), or in bin/ when installed.
  const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
  const QDir here = QFileInfo(self).absoluteDir();
  for (const QString& candidate : {here.filePath("quilltool"), here.filePath("../../bin/quilltool")})
    if (QFileInfo(candidate).isExecutable()) return QFileInfo(candidate).canonicalFilePath();
  return here.filePath("quilltool");
}

bool FleetWindow::Start() {
  if (Running()) return false;
  // The same checks as the command line's, before anything is sent.
  std::vector<fleet::PhoneState> phones;
  std::set<uint32_t> seen;
  std::string problems;
  for (int row = 0; row < table_->rowCount(); ++row) {
    const std::string address =
        table_->item(row, kAddress) ? table_->item(row, kAddress)->text().trimmed().toStdString() : "";
    uint32_t value = 0;
    if (!fleet::ParseIPv4(address, value)) {
      problems += "row " + std::to_string(row + 1) + ": \"" + address + "\" is not an IPv4 address\n";
      continue;
    }
    if (!seen.insert(value).second) {
      problems += "row " + std::to_string(row + 1) + ": " + address + " is already in the table\n";
      continue;
    }
    fleet::PhoneState state;
    state.phone.address = fleet::FormatIPv4(value);
    state.phone.name = table_->item(row, kName) ? table_->item(row, kName)->text().toStdString() : "";
    phones.push_back(std::move(state));
  }
  if (phones.empty() && problems.empty()) problems = "no phones: load an inventory or add rows\n";
  const QString command = command_->currentText();
  const std::string file = file_->text().toStdString();
  if (TakesFile(command)) {
    CInputFile in;
    if (!in.OpenRegular(file)) problems += FileFailureText("Can not open source file", in.Error()) + "\n";
  }
  QString folder = runFolder_->text().trimmed();
  if (folder.isEmpty())
    folder = QDir::current().filePath(QDateTime::currentDateTime().toString("'fleet-'yyyyMMdd-HHmmss"));
  if (problems.empty() && !QDir().mkdir(folder))
    problems += folder.toStdString() + ": cannot make the run folder (it must be new)\n";
  if (!problems.empty()) {
    ui_.Message(problems);
    return false;
  }
  runDir_ = folder;
  for (fleet::PhoneState& p : phones) p.logPath = (folder + "/").toStdString() + p.phone.address + ".log";
  commandLine_ = command + (TakesFile(command) ? " " + file_->text() : QString());

  fleet::RunnerOptions options;
  options.program = (program_.isEmpty() ? ChildProgram() : program_).toStdString();
  options.runDir = folder.toStdString();
  options.jobs = jobs_->value();
  options.retries = retries_->value();
  const std::string name = command.toStdString();
  const bool withFile = TakesFile(command);
  runner_ = std::make_unique<fleet::FleetRunner>(options, std::move(phones),
                                                 [name, file, withFile](const fleet::PhoneState&) {
                                                   std::vector<std::string> args = {name};
                                                   if (withFile)
                                                     args.insert(args.end(), {file, "--tcp", "--yes"});
                                                   return args;
                                                 });
  done_ = false;
  thread_ = std::thread([this] {
    runner_->Run();
    done_ = true;
  });
  start_->setEnabled(false);
  stop_->setEnabled(true);
  summary_->setText("Running; run folder " + folder);
  timer_->start();
  return true;
}

void FleetWindow::Stop() {
  if (runner_) runner_->RequestStop();
  if (runner_ && runner_->StopLevel() == 1)
    summary_->setText(
        "Stopping: no new phone starts, the running ones finish. Stop again to stop the phones "
        "not yet sent their command.");
}

void FleetWindow::Refresh() {
  if (!runner_) return;
  const std::vector<fleet::PhoneState> phones = runner_->Snapshot();
  std::map<std::string, const fleet::PhoneState*> byAddress;
  for (const fleet::PhoneState& p : phones) byAddress[p.phone.address] = &p;
  double fraction = 0;
  for (int row = 0; row < table_->rowCount(); ++row) {
    uint32_t value = 0;
    const std::string address =
        table_->item(row, kAddress) ? table_->item(row, kAddress)->text().trimmed().toStdString() : "";
    if (!fleet::ParseIPv4(address, value)) continue;
    auto at = byAddress.find(fleet::FormatIPv4(value));
    if (at == byAddress.end()) continue;
    const fleet::PhoneState& p = *at->second;
    const bool ended = fleet::Ended(p.outcome);
    const int percent =
        ended ? (fleet::Good(p.outcome) ? 100 : static_cast<int>(p.total ? p.done * 100 / p.total : 0))
              : static_cast<int>(p.total > 0 ? p.done * 100 / p.total : 0);
    fraction += ended ? 1.0 : percent / 100.0;
    table_->item(row, kState)
        ->setText(p.outcome == fleet::Outcome::Running ? QString::fromStdString(p.step)
                                                       : fleet::OutcomeName(p.outcome));
    QString message = QString::fromStdString(p.message).simplified();
    table_->item(row, kMessage)->setText(message);
    if (auto* bar = qobject_cast<QProgressBar*>(table_->cellWidget(row, kProgress))) bar->setValue(percent);
  }
  total_->setValue(phones.empty() ? 0
                                  : static_cast<int>(fraction * 100 / static_cast<double>(phones.size())));
  if (done_) Finished();
}

void FleetWindow::Finished() {
  timer_->stop();
  if (thread_.joinable()) thread_.join();
  const std::vector<fleet::PhoneState> phones = runner_->Snapshot();
  const int code = runner_->ExitCode();
  std::string error;
  QString text;
  int good = 0;
  for (const fleet::PhoneState& p : phones) good += fleet::Good(p.outcome) ? 1 : 0;
  text = QString("%1 of %2 phones succeeded, %3 did not")
             .arg(good)
             .arg(phones.size())
             .arg(static_cast<int>(phones.size()) - good);
  if (code == 130) text += " (stopped)";
  if (fleet::WriteReports(runDir_.toStdString(), commandLine_.toStdString(), phones, code, error))
    text += ". Report: " + runDir_ + "/report.csv and report.json; a log per phone beside them.";
  else
    text += ". " + QString::fromStdString(error);
  summary_->setText(text);
  runner_.reset();
  start_->setEnabled(true);
  stop_->setEnabled(false);
}

QString FleetWindow::Summary() const {
  return summary_->text();
}

void FleetWindow::closeEvent(QCloseEvent* event) {
  if (Running()) {
    Stop();
    event->ignore();
    return;
  }
  event->accept();
}

}  // namespace quill
