#include "harness.h"

#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "internal.h"
#include "round_names.h"

#ifndef BBS_BIN_DIR
#error "BBS_BIN_DIR must name the build tree"
#endif

namespace fs = std::filesystem;

namespace harness {

namespace internal {

long now_ms() {
  using namespace std::chrono;
  return static_cast<long>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string make_temp_dir(const char* stem) {
  const char* base = std::getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/" + stem + "XXXXXX";
  if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return templ;
}

std::string asan_with_preload() {
  const char* asan = std::getenv("ASAN_OPTIONS");
  return std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0";
}

std::vector<std::string> preload_env(const std::string& lib) {
  return {"LD_PRELOAD=" + lib, asan_with_preload()};
}

void forget_faketime(pid_t pid) {
  for (const char* fmt : {"/dev/shm/faketime_shm_%d", "/dev/shm/sem.faketime_sem_%d"}) {
    char path[64];
    std::snprintf(path, sizeof path, fmt, static_cast<int>(pid));
    ::unlink(path);
  }
}

}  // namespace internal

namespace {

std::string convert(std::string_view bytes, const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(bytes);
  std::string out;
  std::string in(bytes);
  char* ip = in.data();
  size_t il = in.size();
  char buf[256];
  while (il > 0) {
    char* op = buf;
    size_t ol = sizeof buf;
    size_t r = iconv(cd, &ip, &il, &op, &ol);
    out.append(buf, static_cast<size_t>(op - buf));
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      out.push_back('?');
      ++ip;
      --il;
    }
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  iconv_close(cd);
  return out;
}

}  // namespace

using namespace internal;

std::string program(std::string_view name) {
  return std::string(BBS_BIN_DIR) + "/" + std::string(name) + "/" + std::string(name);
}

Scratch::Scratch() : root_(make_temp_dir("bbs-")) {
  for (const char* d : {"frm/typegame", "user/chat", "user/score", "user/autoup", "bin"})
    fs::create_directories(fs::path(root_) / d);
}

Scratch::~Scratch() {
  std::error_code ec;
  fs::remove_all(root_, ec);
}

std::string Scratch::file(std::string_view rel) const { return root_ + "/" + std::string(rel); }

void Scratch::write(std::string_view rel, std::string_view bytes) const {
  fs::create_directories(fs::path(file(rel)).parent_path());
  std::ofstream out(file(rel), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void Scratch::append(std::string_view rel, std::string_view bytes) const {
  std::ofstream out(file(rel), std::ios::binary | std::ios::app);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::optional<std::string> Scratch::read(std::string_view rel) const {
  if (!exists(rel)) return std::nullopt;
  return slurp(file(rel));
}

bool Scratch::exists(std::string_view rel) const {
  struct stat st;
  return lstat(file(rel).c_str(), &st) == 0;
}

void Scratch::remove(std::string_view rel) const { ::unlink(file(rel).c_str()); }

void Scratch::fifo(std::string_view rel) const {
  remove(rel);
  if (mkfifo(file(rel).c_str(), 0666) != 0) throw std::runtime_error("mkfifo " + file(rel));
}

void Scratch::symlink(std::string_view rel, const std::string& target) const {
  remove(rel);
  if (::symlink(target.c_str(), file(rel).c_str()) != 0)
    throw std::runtime_error("symlink " + file(rel));
}

InDir::InDir(const std::string& dir) {
  std::array<char, 4096> here{};
  if (!getcwd(here.data(), here.size()) || chdir(dir.c_str()) != 0)
    throw std::runtime_error("cannot enter " + dir);
  back_ = here.data();
}

InDir::~InDir() {
  if (chdir(back_.c_str()) != 0) std::perror("chdir back");
}

std::string this_months_ledger() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return "user/score/type" + std::to_string(tm.tm_year % 100) + std::to_string(tm.tm_mon + 1) +
         ".dat";
}

void set_mtime(const std::string& path, std::time_t when) {
  timespec times[2] = {{when, 0}, {when, 0}};
  if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
    throw std::runtime_error("utimensat " + path);
}

Pty::Pty() {
  if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0)
    throw std::runtime_error("openpty failed");
  termios tio;
  tcgetattr(slave_, &tio);
  cfmakeraw(&tio);
  tcsetattr(slave_, TCSANOW, &tio);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  fcntl(slave_, F_SETFD, FD_CLOEXEC);
  const char* path = ttyname(slave_);
  if (path == nullptr || std::strncmp(path, "/dev/", 5) != 0)
    throw std::runtime_error("pty has no /dev name");
  name_ = path + 5;
}

Pty::~Pty() {
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
}

std::string Pty::drain(int quiet_ms, int max_ms) {
  std::string got;
  long end = now_ms() + max_ms;
  for (;;) {
    long left = end - now_ms();
    if (left <= 0) break;
    pollfd p{master_, POLLIN, 0};
    int r = poll(&p, 1, static_cast<int>(std::min<long>(left, quiet_ms)));
    if (r <= 0) break;
    char buf[4096];
    ssize_t n = ::read(master_, buf, sizeof buf);
    if (n <= 0) break;
    got.append(buf, static_cast<size_t>(n));
  }
  return got;
}

bool Pty::read_until(std::string& got, std::string_view needle, int timeout_ms) {
  long end = now_ms() + timeout_ms;
  while (got.find(needle) == std::string::npos) {
    long left = end - now_ms();
    if (left <= 0) return false;
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    char buf[4096];
    ssize_t n = ::read(master_, buf, sizeof buf);
    if (n > 0) got.append(buf, static_cast<size_t>(n));
  }
  return true;
}

std::string roster_bytes(const std::vector<RosterEntry>& entries) {
  std::string out;
  for (const auto& e : entries) {
    char rec[52] = {};
    auto g = static_cast<std::uint32_t>(e.group);
    for (int i = 0; i < 4; ++i) rec[i] = static_cast<char>((g >> (8 * i)) & 0xff);
    std::memcpy(rec + 4, e.other.data(), std::min<size_t>(e.other.size(), 27));
    std::memcpy(rec + 31, e.tty.data(), std::min<size_t>(e.tty.size(), 21));
    out.append(rec, sizeof rec);
  }
  return out;
}

void write_roster(const Scratch& dir, int room, const std::vector<RosterEntry>& entries) {
  std::array<char, 200> rel;
  roster_path(room, rel);
  dir.write(rel.data(), roster_bytes(entries));
}

std::string euckr_to_utf8(std::string_view bytes) { return convert(bytes, "UTF-8", "EUC-KR"); }
std::string utf8_to_euckr(std::string_view text) { return convert(text, "EUC-KR", "UTF-8"); }

bool utf8_locale() { return std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0; }

std::string raw_korean_hint(std::string_view command) {
  return "Korean text below is raw EUC-KR; to read it, run: LC_ALL=C.UTF-8 " + std::string(command);
}

}  // namespace harness
