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
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <map>
#include <set>

#include "fleet/inventory.h"
#include "fleet/plan.h"
#include "fleet/report.h"
#include "fleet/runner.h"
#include "platform/file_io.h"
#include "platform/ui.h"

namespace quill {
namespace {

enum Column { kAddress, kName, kSettings, kState, kProgress, kMessage, kColumns };

QString Cell(const QTableWidget* table, int row, int column) {
  const QTableWidgetItem* item = table->item(row, column);
  return item ? item->text().trimmed() : QString();
}

}  // namespace

FleetWindow::FleetWindow(Ui& ui, QWidget* parent) : QDialog(parent), ui_(ui) {
  setWindowTitle("Fleet");
  table_ = new QTableWidget(0, kColumns, this);
  table_->setHorizontalHeaderLabels({"Address", "Name", "Settings", "State", "Progress", "Message"});
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->verticalHeader()->setVisible(false);
  command_ = new QComboBox(this);
  // update-page wants a page, a chip and a folder: the command line gives them.
  for (const std::string& name : fleet::CommandNames())
    if (name != "update-page") command_->addItem(QString::fromStdString(name));
  file_ = new QLineEdit(this);
  fileLabel_ = new QLabel("File", this);
  length_ = new QLineEdit(this);
  length_->setPlaceholderText("bytes, for sdram-save");
  common_ = new QPlainTextEdit(this);
  common_->setPlaceholderText("KEY=VALUE lines every phone gets after its own settings file");
  common_->setMaximumHeight(60);
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
  form->addRow(fileLabel_, fileRow);
  form->addRow("Length", length_);
  form->addRow("Settings for all", common_);
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
  resize(780, 580);

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
  connect(add, &QPushButton::clicked, this, [this] { AddRow({}, {}, {}); });
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
  connect(command_, &QComboBox::currentTextChanged, this, &FleetWindow::CommandChanged);
  command_->setCurrentText("update-program");
  CommandChanged(command_->currentText());
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

void FleetWindow::CommandChanged(const QString& command) {
  const std::string name = command.toStdString();
  file_->setEnabled(fleet::CommandTakesFile(name));
  fileLabel_->setText(name == "sdram-save" ? "Output pattern" : "File");
  file_->setPlaceholderText(name == "sdram-save" ? "sdram-{address}.bin ({address} and {name} are replaced)"
                                                 : QString());
  length_->setEnabled(name == "sdram-save");
  common_->setEnabled(name == "settings");
}

void FleetWindow::AddRow(const QString& address, const QString& name, const QString& settings) {
  const int row = table_->rowCount();
  table_->insertRow(row);
  table_->setItem(row, kAddress, new QTableWidgetItem(address));
  table_->setItem(row, kName, new QTableWidgetItem(name));
  table_->setItem(row, kSettings, new QTableWidgetItem(settings));
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
    AddRow(QString::fromStdString(p.address), QString::fromStdString(p.name),
           QString::fromStdString(p.settings));
  return true;
}

void FleetWindow::SetCommand(const QString& command, const QString& file) {
  command_->setCurrentText(command);
  file_->setText(file);
}

void FleetWindow::SetLength(const QString& length) {
  length_->setText(length);
}

void FleetWindow::SetCommonSettings(const QString& lines) {
  common_->setPlainText(lines);
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
  // The same plan and checks as the command line's, before anything is sent.
  std::vector<fleet::Phone> phones;
  std::set<uint32_t> seen;
  std::string problems;
  for (int row = 0; row < table_->rowCount(); ++row) {
    const std::string address = Cell(table_, row, kAddress).toStdString();
    uint32_t value = 0;
    if (!fleet::ParseIPv4(address, value)) {
      problems += "row " + std::to_string(row + 1) + ": \"" + address + "\" is not an IPv4 address\n";
      continue;
    }
    if (!seen.insert(value).second) {
      problems += "row " + std::to_string(row + 1) + ": " + address + " is already in the table\n";
      continue;
    }
    fleet::Phone phone;
    phone.address = fleet::FormatIPv4(value);
    phone.name = Cell(table_, row, kName).toStdString();
    phone.settings = Cell(table_, row, kSettings).toStdString();
    phones.push_back(std::move(phone));
  }
  if (phones.empty() && problems.empty()) problems = "no phones: load an inventory or add rows\n";

  fleet::Request request;
  request.command = command_->currentText().toStdString();
  if (fleet::CommandTakesFile(request.command)) request.file = file_->text().trimmed().toStdString();
  if (request.command == "sdram-save") request.options["--length"] = length_->text().trimmed().toStdString();
  if (request.command == "settings") {
    for (const QString& line : common_->toPlainText().split('\n', Qt::SkipEmptyParts))
      if (!line.trimmed().isEmpty()) request.lines.push_back(line.trimmed().toStdString());
  }
  auto plan = std::make_unique<fleet::Plan>();
  if (auto problem = fleet::Plan::CheckRequest(request)) {
    problems += *problem + "\n";
  } else if (problems.empty()) {
    for (const std::string& p : plan->Make(request, phones, "the table")) problems += p + "\n";
  }
  std::string folder = runFolder_->text().trimmed().toStdString();
  const bool named = !folder.empty();
  if (!named) folder = QDir::current().filePath(QString::fromStdString(fleet::DefaultRunDir())).toStdString();
  std::string error;
  if (problems.empty() && !fleet::MakeRunDir(folder, named, error)) problems += error + "\n";
  std::vector<fleet::PhoneState> states;
  for (fleet::Phone& phone : phones) {
    fleet::PhoneState state;
    state.phone = std::move(phone);
    state.logPath = folder + "/" + state.phone.address + ".log";
    states.push_back(std::move(state));
  }
  if (problems.empty() && !plan->WritePhoneFiles(folder, states, error)) problems += error + "\n";
  if (!problems.empty()) {
    ui_.Message(problems);
    return false;
  }
  runDir_ = QString::fromStdString(folder);
  plan_ = std::move(plan);

  fleet::RunnerOptions options;
  options.program = (program_.isEmpty() ? ChildProgram() : program_).toStdString();
  options.runDir = folder;
  options.jobs = jobs_->value();
  options.retries = retries_->value();
  const fleet::Plan* planned = plan_.get();
  runner_ = std::make_unique<fleet::FleetRunner>(
      options, std::move(states),
      [planned, folder](const fleet::PhoneState& p) { return planned->ChildArgs(folder, p.phone); });
  done_ = false;
  thread_ = std::thread([this] {
    runner_->Run();
    done_ = true;
  });
  start_->setEnabled(false);
  stop_->setEnabled(true);
  summary_->setText("Running; run folder " + runDir_);
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
    if (!fleet::ParseIPv4(Cell(table_, row, kAddress).toStdString(), value)) continue;
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
  if (fleet::WriteReports(runDir_.toStdString(), plan_->CommandLine(), phones, code, error))
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
