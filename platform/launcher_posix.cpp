#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/launcher.h"

namespace quill {

bool SystemLauncher::Start(const std::string& program, const std::vector<std::string>& args) {
  // Everything the child needs is built before fork: only async-signal-safe calls run after it.
  std::vector<std::string> all;
  all.push_back(program);
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);

  int pipefd[2];
  if (::pipe2(pipefd, O_CLOEXEC) != 0) return false;
  pid_t child = ::fork();
  if (child < 0) {
    ::close(pipefd[0]);
    ::close(pipefd[1]);
    return false;
  }
  if (child == 0) {
    // The intermediate child exits at once, so the program is adopted by init and never left a zombie.
    ::setsid();
    pid_t grandchild = ::fork();
    if (grandchild == 0) {
      ::execvp(argv[0], argv.data());
      int err = errno;
      (void)!::write(pipefd[1], &err, sizeof err);
      ::_exit(127);
    }
    ::_exit(grandchild < 0 ? 1 : 0);
  }
  ::close(pipefd[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int err = 0;
  ssize_t n;
  do {
    n = ::read(pipefd[0], &err, sizeof err);  // closes on a successful exec: read returns 0
  } while (n < 0 && errno == EINTR);
  ::close(pipefd[0]);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 && n == 0;
}

}  // namespace quill
