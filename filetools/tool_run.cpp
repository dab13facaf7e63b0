#include "filetools/tool_run.h"

#include "filetools/file_choice.h"
#include "platform/ui.h"

namespace quill {
namespace {

thread_local CToolRun* g_outermost = nullptr;

constexpr const char* kNothingWritten =
    "Nothing was written: the tool went on past the failure above, which on the command line fails the run.";

bool Stopped(ToolResult result) {
  return result == ToolResult::Failed || result == ToolResult::Cancelled ||
         result == ToolResult::NothingWritten;
}

}  // namespace

struct CToolRun::Shared {
  AfterFailure rule;
  std::vector<std::unique_ptr<COutputFile>> outputs;
  int failures = 0;  // gone past anywhere in the run
};

CToolRun::CToolRun(Ui& ui, AfterFailure rule) : ui_(ui), outer_(g_outermost) {
  if (outer_) {
    shared_ = outer_->shared_;
  } else {
    shared_ = std::make_shared<Shared>();
    shared_->rule = rule;
    g_outermost = this;
  }
  first_ = shared_->outputs.size();
}

CToolRun::~CToolRun() {
  if (!finished_) Abandon();
  EndWait();
  if (!outer_) g_outermost = nullptr;
}

COutputFile* CToolRun::Create(const std::string& path, COutputFile::Mode mode) {
  auto out = std::make_unique<COutputFile>();
  if (!out->Create(path, mode)) {
    EndWait();
    ui_.Message(FileFailureText(kCanNotCreateDest, out->Error()));
    return nullptr;
  }
  shared_->outputs.push_back(std::move(out));
  return shared_->outputs.back().get();
}

void CToolRun::BeginWait() {
  if (waiting_) return;
  ui_.BeginWaitCursor();
  waiting_ = true;
}

void CToolRun::EndWait() {
  if (!waiting_) return;
  ui_.EndWaitCursor();
  waiting_ = false;
}

void CToolRun::WentOnPast(int count) {
  failures_ += count;
  shared_->failures += count;
}

void CToolRun::Abandon() {
  auto& outputs = shared_->outputs;
  for (size_t i = first_; i < outputs.size(); ++i) outputs[i]->Abandon();
  outputs.resize(first_);
}

ToolResult CToolRun::Fail(const std::string& text) {
  EndWait();
  ui_.Message(text);
  return Finish(ToolResult::Failed);
}

ToolResult CToolRun::Finish(ToolResult result) {
  finished_ = true;
  EndWait();
  if (Stopped(result)) {
    Abandon();
    return result;
  }
  auto& outputs = shared_->outputs;
  if (outer_) {
    // Written out now, so that a run of many files (the prompt batch) keeps no buffer or descriptor per
    // file until the outer run commits them.
    for (size_t i = first_; i < outputs.size(); ++i) {
      if (!outputs[i]->Finish()) {
        ui_.Message(FileFailureText(kCanNotCreateDest, outputs[i]->Error()));
        Abandon();
        return ToolResult::Failed;
      }
    }
    return result == ToolResult::Done && failures_ > 0 ? ToolResult::KeptAfterFailure : result;
  }
  if (shared_->failures > 0 && shared_->rule == AfterFailure::CommitNothing) {
    Abandon();
    ui_.Message(kNothingWritten);
    return ToolResult::Failed;
  }
  std::vector<COutputFile*> files;
  files.reserve(outputs.size());
  for (auto& out : outputs) files.push_back(out.get());
  const bool committed = COutputFile::CommitAll(files);
  if (!committed) {
    for (COutputFile* f : files) {
      if (f->Error().IsSet()) {
        ui_.Message(FileFailureText(kCanNotCreateDest, f->Error()));
        break;
      }
    }
  }
  outputs.clear();
  if (!committed) return ToolResult::Failed;
  return result == ToolResult::Done && shared_->failures > 0 ? ToolResult::KeptAfterFailure : result;
}

}  // namespace quill
