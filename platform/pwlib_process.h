// Stand-in for the networking library's process object. The library required exactly one process object
// before any of its facilities was used; the tool keeps one for the whole process, with the same class
// chain and the same construction values, so that code written against it keeps its shape.
#pragma once

#include <string>

namespace quill {

class PThread {
 public:
  virtual ~PThread() = default;
  // The class name at ancestor level n (0 = most derived), or "" past the root.
  virtual const char* GetClass(unsigned ancestor = 0) const { return ancestor == 0 ? "PThread" : ""; }
};

class PProcess : public PThread {
 public:
  enum CodeStatus { AlphaCode, BetaCode, ReleaseCode };
  PProcess(std::string manufacturer, std::string name, unsigned major, unsigned minor, CodeStatus status,
           unsigned build);
  const char* GetClass(unsigned ancestor = 0) const override {
    return ancestor == 0 ? "PProcess" : PThread::GetClass(ancestor - 1);
  }
  const std::string& GetManufacturer() const { return manufacturer_; }
  const std::string& GetName() const { return name_; }
  unsigned GetMajorVersion() const { return major_; }
  unsigned GetMinorVersion() const { return minor_; }
  CodeStatus GetStatus() const { return status_; }
  unsigned GetBuildNumber() const { return build_; }
  static PProcess* Current() { return current_; }

 protected:
  ~PProcess() override;

 private:
  std::string manufacturer_, name_;
  unsigned major_, minor_;
  CodeStatus status_;
  unsigned build_;
  static PProcess* current_;
};

class PWLibProcess : public PProcess {
 public:
  // Empty manufacturer and product names, version 1.0, release code, build 1.
  PWLibProcess() : PProcess("", "", 1, 0, ReleaseCode, 1) {}
  ~PWLibProcess() override = default;
  const char* GetClass(unsigned ancestor = 0) const override {
    return ancestor == 0 ? "PWLibProcess" : PProcess::GetClass(ancestor - 1);
  }
};

}  // namespace quill
