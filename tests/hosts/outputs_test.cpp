// Files the command line must never replace: an output that is a device or a FIFO is written
// in place, a symbolic link writes its target and stays a link, and an output that is one of
// the inputs is refused before anything is written. Each for the three kinds of output:
// render's audio, snapshot's picture and --save-state's state.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <thread>

#include "cli_harness.h"
#include "hosts/cli/output.h"

namespace {

struct output_kind_t {
  const char* name;
  std::function<std::vector<std::string>(const std::string& out)> args;
  bool (*looks_right)(const std::string& bytes);
};

const output_kind_t kOutputs[] = {
    {"render", [](const std::string& out) { return std::vector<std::string>{"render", "in.wav", out}; },
     [](const std::string& b) { return b.compare(0, 4, "RIFF") == 0 && b.size() > 8000; }},
    {"snapshot", [](const std::string& out) { return std::vector<std::string>{"snapshot", out, "--frames", "2"}; },
     [](const std::string& b) { return b.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0; }},
    {"--save-state",
     [](const std::string& out) { return std::vector<std::string>{"render", "in.wav", "o.wav", "--save-state", out}; },
     [](const std::string& b) { return b.size() == 232; }},
};

class Outputs : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    write_wav("in.wav", noise(2, 2000, 5));
  }
  mode_t type_of(const std::string& name) const {
    struct stat st;
    return lstat(path(name).c_str(), &st) == 0 ? st.st_mode & S_IFMT : 0;
  }
};

TEST_F(Outputs, ADeviceOrFifoIsWrittenInPlaceAndALinkWritesItsTarget) {
  // A full device of our own where we may make one (root): a fault that replaced it would
  // then not touch the system's /dev/full, which a user cannot replace anyway.
  const std::string full = mknod(path("full").c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0 ? path("full") : "/dev/full";
  for (const output_kind_t& kind : kOutputs) {
    SCOPED_TRACE(kind.name);
    // A FIFO with a reader gets the whole file, and stays a FIFO. The reader holds it open
    // from before the program starts, so that a program that never opens it cannot hang the
    // test: the reader stops when the program has ended and nothing more comes.
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0644), 0);
    const int fd = open(path("fifo").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    std::string got;
    std::atomic<bool> ended{false};
    std::thread reader([&] {
      char buf[65536];
      for (;;) {
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
          const ssize_t n = read(fd, buf, sizeof buf);
          if (n > 0) got.append(buf, n);
          else if (n == 0) break;  // the writer closed it
        } else if (ended) {
          break;
        }
      }
    });
    cli_result_t r = run(kind.args("fifo"));
    ended = true;
    reader.join();
    close(fd);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(kind.looks_right(got)) << got.size() << " bytes";
    EXPECT_EQ(type_of("fifo"), S_IFIFO);
    // A device that cannot take the bytes is an error, and stays the device.
    r = run(kind.args(full));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quillmar: " + full + ": No space left on device\n");
    struct stat st;
    EXPECT_TRUE(stat(full.c_str(), &st) == 0 && S_ISCHR(st.st_mode));
    // A link to an existing file, and a link to a file not there yet: both stay links.
    std::ofstream(path("old")) << "old";
    ASSERT_EQ(symlink("old", path("link").c_str()), 0);
    ASSERT_EQ(symlink("sub/new", path("dangling").c_str()), 0);
    mkdir(path("sub").c_str(), 0755);
    for (const char* link : {"link", "dangling"}) EXPECT_EQ(run(kind.args(link)).status, 0) << link;
    EXPECT_EQ(type_of("link"), S_IFLNK);
    EXPECT_EQ(type_of("dangling"), S_IFLNK);
    EXPECT_TRUE(kind.looks_right(bytes("old")));
    EXPECT_TRUE(kind.looks_right(bytes("sub/new")));
    for (const char* f : {"fifo", "old", "link", "dangling", "sub/new", "sub", "o.wav"}) std::remove(path(f).c_str());
  }
}

TEST_F(Outputs, AnOutputThatIsAnInputIsRefusedAndNothingIsWritten) {
  mkdir(path("sub").c_str(), 0755);
  ASSERT_EQ(symlink("in.wav", path("link.wav").c_str()), 0);
  ASSERT_EQ(link(path("in.wav").c_str(), path("hard.wav").c_str()), 0);
  std::ofstream(path("auto.txt")) << "1.0 Band A gain=-3\n";
  ASSERT_EQ(run({"render", "in.wav", "o.wav", "--save-state", "s.state"}).status, 0);
  std::remove(path("o.wav").c_str());
  const std::string in = bytes("in.wav"), state = bytes("s.state");
  const std::vector<std::string> cases[] = {
      {"render", "in.wav", "in.wav"},
      {"render", "in.wav", "sub/../in.wav"},
      {"render", "in.wav", "link.wav"},
      {"render", "hard.wav", "in.wav"},
      {"render", "in.wav", "o.wav", "--save-state", "in.wav"},
      {"render", "in.wav", "o.wav", "--save-state", "o.wav"},
      {"render", "in.wav", "s.state", "--state", "s.state"},
      {"render", "in.wav", "o.wav", "--automate", "auto.txt", "--save-state", "auto.txt"},
      {"snapshot", "in.wav", "--input", "link.wav"},
      {"gui", "in.wav", "--save-state", "hard.wav"},
  };
  for (const auto& args : cases) {
    const cli_result_t r = run(args);
    EXPECT_EQ(r.status, 2) << args[2];
    EXPECT_EQ(r.err_lines(), 1) << r.err;
    EXPECT_NE(r.err.find("nothing was written"), std::string::npos) << r.err;
    EXPECT_EQ(bytes("in.wav"), in);
    EXPECT_EQ(bytes("s.state"), state);
    EXPECT_FALSE(exists("o.wav"));
  }
  // --save-state may rewrite the --state it started from.
  EXPECT_EQ(run({"render", "in.wav", "o.wav", "--state", "s.state", "--save-state", "s.state"}).status, 0);
}

// A run ended by a signal while a temporary file exists removes it and still dies of the
// signal: a spool of standard input (blocked reading it), a spool of standard output (blocked
// writing to a pipe nobody reads, or whose reader goes away), snapshot's settings folder.
TEST_F(Outputs, ARunEndedByASignalLeavesNoTemporaryFile) {
  write_wav("long.wav", noise(2, 44100, 6));
  struct {
    std::vector<std::string> args;
    bool blocked_input;
    int sig;
    int temps;  // files and folders in TMPDIR while it waits
  } const cases[] = {
      {{"render", "long.wav", "-"}, false, SIGINT, 1},
      {{"render", "long.wav", "-"}, false, SIGHUP, 1},
      {{"render", "long.wav", "-"}, false, SIGPIPE, 1},
      {{"render", "-", "o.wav"}, true, SIGTERM, 1},
      {{"snapshot", "-", "--frames", "1"}, false, SIGTERM, 2},
  };
  mkdir(path("tmp").c_str(), 0700);
  std::string names;  // what TMPDIR held when last counted
  auto count = [&] {
    int n = 0;
    names.clear();
    if (DIR* d = opendir(path("tmp").c_str())) {
      while (const dirent* e = readdir(d))
        if (e->d_name[0] != '.') ++n, names += std::string(" ") + e->d_name;
      closedir(d);
    }
    return n;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1] + " signal " + std::to_string(c.sig));
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    // Held open by the test: the program blocks reading nothing, or writing into a full pipe.
    const int fd = open(path("fifo").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const pid_t pid = start(c.args, {"TMPDIR=" + path("tmp")}, c.blocked_input ? "exec <fifo; " : "exec >fifo; ");
    // Until it is blocked (the pipe full, or nothing came): its temporary files the same for
    // half a second.
    std::string seen;
    for (int same = 0, waited = 0; same < 50 && waited < 3000; ++waited, usleep(10000))
      same = count() == c.temps && names == seen ? same + 1 : (seen = names, 0);
    EXPECT_EQ(count(), c.temps) << names;
    if (c.sig == SIGPIPE) {
      // The reader goes away (as `| head -c 100` does): the next write raises the signal.
      close(fd);
    } else {
      kill(pid, c.sig);
    }
    const cli_result_t r = finish(pid);
    if (c.sig != SIGPIPE) close(fd);
    EXPECT_EQ(r.status, 128 + c.sig) << r.err;
    EXPECT_EQ(count(), 0) << names;
    std::remove(path("fifo").c_str());
  }
}

// A rename over the target that fails (here it became a folder while the file was made) is an
// error, and the temporary file beside it goes.
TEST_F(Outputs, ARenameThatFailsIsAnErrorAndLeavesNoTemporaryFile) {
  const std::string target = path("out.bin");
  std::string error;
  const bool ok = write_output(
      target,
      [&](const std::string& file, std::string*) {
        std::ofstream(file) << "bytes";
        return mkdir(target.c_str(), 0755) == 0;
      },
      &error);
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, target + ": cannot write (Is a directory)");
  EXPECT_EQ(type_of("out.bin"), S_IFDIR);
  std::string left;
  if (DIR* d = opendir(path("").c_str())) {
    while (const dirent* e = readdir(d))
      if (std::string(e->d_name).rfind(".out.bin.", 0) == 0) left += e->d_name;
    closedir(d);
  }
  EXPECT_EQ(left, "");
}

}  // namespace
