// Work run in a child process of its own, its result read back over a pipe,
// so that a single-threaded program's event loop never waits for it: the
// loop watches fd() and calls ReadReady when it is readable.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace corvane {

class ChildTask {
 public:
  // Output beyond this is dropped: the child's result is a short text.
  static constexpr size_t kMaxOutput = 4096;

  // Forks. The child closes every descriptor it inherited but its end of
  // the pipe (so it holds none of the parent's sockets, even if it outlives
  // it), is killed when the parent dies, runs `work` at a lowered priority,
  // writes what `work` returns and exits without running the parent's exit
  // handlers. None when the pipe or the process cannot be made.
  static std::unique_ptr<ChildTask> Start(const std::function<std::string()>& work);
  // Kills and reaps a child still running.
  ~ChildTask();
  ChildTask(const ChildTask&) = delete;
  ChildTask& operator=(const ChildTask&) = delete;

  // Becomes readable when the child wrote or ended.
  int fd() const { return fd_; }
  // Takes what the pipe holds now. True once the child's output is complete
  // (the child closed its end, by exiting or dying); the child is then
  // reaped and output() is final.
  bool ReadReady();
  const std::string& output() const { return output_; }

 private:
  ChildTask(int pid, int fd) : pid_(pid), fd_(fd) {}
  int pid_;
  int fd_;
  std::string output_;
};

}  // namespace corvane
