// The fleet window, opened from the main window's context menu: an inventory as a table, one command for all
// of its phones, and each phone's state as the fleet's engine (fleet/runner.h) runs it, one child process
// per phone. The main window's own commands are not touched.
#pragma once

#include <QDialog>
#include <QString>
#include <atomic>
#include <memory>
#include <thread>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;

namespace quill::fleet {
class FleetRunner;
class Plan;
}  // namespace quill::fleet

namespace quill {

class Ui;

class FleetWindow : public QDialog {
  Q_OBJECT
 public:
  // Messages and file dialogs go through ui, as every window's do.
  explicit FleetWindow(Ui& ui, QWidget* parent = nullptr);
  ~FleetWindow() override;

  // For tests and the user's buttons alike.
  bool LoadInventory(const QString& path);
  // file is the command's FILE, or sdram-save's output pattern with {address} and {name}.
  void SetCommand(const QString& command, const QString& file);
  // sdram-save's length in bytes.
  void SetLength(const QString& length);
  // settings: KEY=VALUE lines every phone gets after its own settings file (the table's Settings column).
  void SetCommonSettings(const QString& lines);
  void SetRunFolder(const QString& folder);
  void SetJobs(int jobs);
  // The command-line tool each phone's process runs; found beside the window's executable unless set.
  void SetChildProgram(const QString& program) { program_ = program; }
  bool Start();
  void Stop();
  bool Running() const { return runner_ != nullptr; }
  QTableWidget* Table() const { return table_; }
  QString Summary() const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void AddRow(const QString& address, const QString& name, const QString& settings);
  void CommandChanged(const QString& command);
  void Refresh();
  void Finished();
  QString ChildProgram() const;

  Ui& ui_;
  QTableWidget* table_;
  QComboBox* command_;
  QLineEdit* file_;
  QLabel* fileLabel_;
  QLineEdit* length_;
  QPlainTextEdit* common_;
  QLineEdit* runFolder_;
  QSpinBox* jobs_;
  QSpinBox* retries_;
  QPushButton* start_;
  QPushButton* stop_;
  QProgressBar* total_;
  QLabel* summary_;
  QTimer* timer_;
  std::unique_ptr<fleet::Plan> plan_;  // outlives runner_, which asks it for each phone's arguments
  std::unique_ptr<fleet::FleetRunner> runner_;
  std::thread thread_;
  std::atomic<bool> done_{false};
  QString program_;
  QString runDir_;
};

}  // namespace quill
