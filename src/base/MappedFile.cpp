#include "MappedFile.h"

#include "ByteOrder.h"
#include "RemoteFiles.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace base {

namespace {

// The guarded mappings: where each lies, and whether its file was found cut. Slots are taken
// and given back with atomics only, since the signal handler reads them from any thread.
struct GuardSlot {
  std::atomic<uintptr_t> Begin{0};
  std::atomic<uintptr_t> End{0};
  std::atomic<bool> Cut{false};
};
constexpr int kGuardSlots = 4096;
GuardSlot guards[kGuardSlots];
struct sigaction previousBusAction;

void PassOn(int signal, siginfo_t* info, void* context) {
  if (previousBusAction.sa_flags & SA_SIGINFO) {
    previousBusAction.sa_sigaction(signal, info, context);
    return;
  }
  if (previousBusAction.sa_handler != SIG_DFL && previousBusAction.sa_handler != SIG_IGN) {
    previousBusAction.sa_handler(signal);
    return;
  }
  ::signal(SIGBUS, SIG_DFL); // not a guarded mapping: the fault it always was
  ::raise(SIGBUS);
}

// A read past the end of a file cut under its mapping: the page becomes zeros and the mapping is
// marked, so that the read goes on and its reader reports the cut.
void OnBusError(int signal, siginfo_t* info, void* context) {
  const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
  const uintptr_t pageSize = uintptr_t(::sysconf(_SC_PAGESIZE));
  for (GuardSlot& slot : guards) {
    const uintptr_t begin = slot.Begin.load(std::memory_order_acquire);
    if (begin == 0 || address < begin || address >= slot.End.load(std::memory_order_acquire))
      continue;
    void* page = reinterpret_cast<void*>(address & ~(pageSize - 1));
    if (::mmap(page, pageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) ==
        MAP_FAILED)
      break;
    slot.Cut.store(true, std::memory_order_release);
    return;
  }
  PassOn(signal, info, context);
}

void InstallBusHandler() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action = {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &previousBusAction);
  });
}

int TakeGuard(const void* mapping, size_t size) {
  InstallBusHandler();
  const auto begin = reinterpret_cast<uintptr_t>(mapping);
  for (int i = 0; i < kGuardSlots; ++i) {
    uintptr_t free = 0;
    if (guards[i].End.load() != 0 || !guards[i].End.compare_exchange_strong(free, begin + size))
      continue;
    guards[i].Cut.store(false);
    guards[i].Begin.store(begin, std::memory_order_release);
    return i;
  }
  return -1;
}

void GiveBackGuard(int slot) {
  guards[slot].Begin.store(0, std::memory_order_release);
  guards[slot].End.store(0, std::memory_order_release);
}

struct Descriptor {
  int Fd = -1;
  ~Descriptor() {
    if (Fd >= 0) ::close(Fd);
  }
};

} // namespace

MappedFile::MappedFile(const QString& path, Kind kind) : FilePath(path) {
  if (const RemoteFileKind* remote = RemoteFileKindOf(path)) { // a file of a store: its bytes
    if (remote->Map) {
      std::optional<RemoteFileKind::Bytes> shown = remote->Map(path);
      if (!shown) throw FileError(path, QString::fromUtf8("такого файлу немає"));
      StoreBytes = std::move(shown->Owner);
      Data = shown->Data;
      return;
    }
    std::optional<QByteArray> bytes = remote->Read(path);
    if (!bytes) throw FileError(path, QString::fromUtf8("такого файлу немає"));
    Copy = std::move(*bytes);
    Data = std::span<const unsigned char>(reinterpret_cast<const unsigned char*>(Copy.constData()),
                                          size_t(Copy.size()));
    return;
  }
  const int flags =
      O_RDONLY | O_CLOEXEC | (kind == Kind::RegularOnly ? O_NOFOLLOW | O_NONBLOCK : 0);
  Descriptor file{::open(QFile::encodeName(path).constData(), flags)};
  if (file.Fd < 0)
    throw FileError(path, QString("не вдається відкрити файл: %1").arg(std::strerror(errno)));
  struct stat info = {};
  if (::fstat(file.Fd, &info) != 0)
    throw FileError(path, QString("не вдається прочитати файл: %1").arg(std::strerror(errno)));
  if (!S_ISREG(info.st_mode)) throw FileError(path, "це не звичайний файл");
  const size_t size = size_t(info.st_size);
  if (size == 0) return;
  Mapping = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, file.Fd, 0);
  if (Mapping == MAP_FAILED) {
    Mapping = nullptr;
    throw FileError(
        path, QString("не вдається відобразити файл у пам'ять: %1").arg(std::strerror(errno)));
  }
  Guard = TakeGuard(Mapping, size);
  if (Guard >= 0) {
    Data = std::span<const unsigned char>(static_cast<const unsigned char*>(Mapping), size);
    return;
  }
  // Every guard taken: the content is read instead.
  ::munmap(Mapping, size);
  Mapping = nullptr;
  Copy.resize(qsizetype(size));
  size_t done = 0;
  while (done < size) {
    const ssize_t got = ::pread(file.Fd, Copy.data() + done, size - done, off_t(done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += size_t(got);
  }
  Copy.truncate(qsizetype(done));
  Data = std::span<const unsigned char>(reinterpret_cast<const unsigned char*>(Copy.constData()),
                                        size_t(Copy.size()));
}

MappedFile::~MappedFile() {
  if (!Mapping) return;
  GiveBackGuard(Guard);
  ::munmap(Mapping, Data.size());
}

bool MappedFile::Cut() const {
  return Guard >= 0 && guards[Guard].Cut.load(std::memory_order_acquire);
}

void MappedFile::CheckWhole() const {
  if (Cut()) throw FileError(FilePath, "файл обрізано: інша програма змінила його під час читання");
}

void BinaryReader::Seek(int64_t offset) {
  if (offset < 0 || offset > Size())
    Fail(QString("зміщення %1 лежить поза файлом розміром %2 байт").arg(offset).arg(Size()));
  Pos = offset;
}

std::span<const unsigned char> BinaryReader::Read(int64_t count) {
  auto span = At(Pos, count);
  Pos += count;
  return span;
}

std::span<const unsigned char> BinaryReader::At(int64_t offset, int64_t count) const {
  if (File) File->CheckWhole();
  if (count < 0 || offset < 0 || offset > Size() || count > Size() - offset)
    throw FileError(FilePath,
                    QString("файл закінчується на байті %1, а за зміщенням %3 потрібно %2 байт")
                        .arg(Size())
                        .arg(count)
                        .arg(offset));
  return Data.subspan(size_t(offset), size_t(count));
}

uint16_t BinaryReader::U16LE() {
  return GetU16LE(Read(2).data());
}
uint32_t BinaryReader::U32LE() {
  return GetU32LE(Read(4).data());
}
uint32_t BinaryReader::U32BE() {
  return GetU32BE(Read(4).data());
}
double BinaryReader::DoubleLE() {
  return GetDoubleLE(Read(8).data());
}

void BinaryReader::Fail(const QString& reason) const {
  throw FileError(FilePath, QString("%1 (зміщення %2)").arg(reason).arg(Pos));
}

} // namespace base
