#include "install/file_contents.h"

#include "install/pe_image.h"
#include "services/concat.h"
#include "services/files.h"
#include "services/handles.h"
#include "services/step_failure.h"

namespace {

// A boot loader is machine code and data, which hold bytes that text never
// does (zeros among them); a file of only letters, digits, punctuation and
// line breaks is a text file under the loader's name.
bool IsText(const std::vector<BYTE>& bytes) {
  for (BYTE byte : bytes) {
    if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\f' && byte != '\r') return false;
    if (byte == 0x7F) return false;
  }
  return true;
}

std::string BootLoaderProblem(const std::vector<BYTE>& bytes) {
  // The boot sector jumps to the loader's first byte; an MZ program needs an
  // operating system to load it.
  if (bytes.size() >= 2 && bytes[0] == 'M' && bytes[1] == 'Z') {
    return "it is a Windows or MS-DOS program, not a boot loader";
  }
  if (IsText(bytes)) return "it is a text file, not a boot loader";
  return std::string();
}

std::string SizeProblem(DWORD size, bool large, FileKind kind) {
  if (size == 0 && !large) return "it is empty";
  const DWORD most = kind == FileKind::BootLoader ? kMaxBootLoaderSize : kMaxImageFileSize;
  if (large || size > most) {
    const std::string length = large ? "over 4 GB" : DecimalText(size) + " bytes";
    if (kind == FileKind::BootLoader) {
      return Concat({"it is ", length, " long, and a boot loader is at most ", DecimalText(most), " bytes long"});
    }
    return Concat(
        {"it is ", length, " long, and a driver file of this kind is at most ", DecimalText(most), " bytes long"});
  }
  if (kind == FileKind::BootLoader && size < kMinBootLoaderSize) {
    return Concat({"it is only ", DecimalText(size), " bytes long, and a boot loader is at least ",
                   DecimalText(kMinBootLoaderSize), " bytes long"});
  }
  return std::string();
}

}  // namespace

std::string ContentProblem(const std::vector<BYTE>& bytes, FileKind kind) {
  switch (kind) {
    case FileKind::BootLoader:
      return BootLoaderProblem(bytes);
    case FileKind::KernelDriver:
      return ImageProblem(bytes, ImageKind::KernelDriver);
    case FileKind::Program:
      return ImageProblem(bytes, ImageKind::Program);
  }
  return std::string();
}

ContentCheck CheckFileContents(TOs& os, const std::string& path, FileKind kind) {
  UniqueFileHandle file(os);
  if (const DWORD error = OpenFileToRead(os, path, &file)) return {error, ""};
  DWORD sizeHigh = 0;
  os.SetLastError(ERROR_SUCCESS);  // a size of 0xFFFFFFFF is not a failure by itself
  const DWORD size = os.GetFileSize(file.get(), &sizeHigh);
  if (size == INVALID_FILE_SIZE) {
    const DWORD error = os.GetLastError();
    if (error != ERROR_SUCCESS) return {error, ""};
  }
  const std::string sizeProblem = SizeProblem(size, sizeHigh != 0, kind);
  if (!sizeProblem.empty()) return {0, sizeProblem};
  // Exactly the size found: a file that grew meanwhile is read as far as that.
  std::vector<BYTE> bytes(size);
  DWORD done = 0;
  while (done < size) {
    DWORD read = 0;
    if (!os.ReadFile(file.get(), bytes.data() + done, size - done, &read, nullptr)) return {FailureCode(os), ""};
    if (read == 0) break;
    done += read;
  }
  if (done < size) bytes.resize(done);
  std::string problem = ContentProblem(bytes, kind);
  if (!problem.empty()) return {0, problem};
  return {0, "", std::move(bytes)};
}

std::string ContentProblemText(const std::string& path, const ContentCheck& check) {
  if (check.Error) {
    return WithErrorCode(Concat({"The file \"", path, "\" could not be read."}), check.Error) +
           "\r\rNothing has been changed.  Close any program that uses the file, then try again.";
  }
  return Concat({"The file \"", path, "\" cannot be installed: ", check.Problem,
                 ".\r\rNothing has been changed.  Put a whole copy of the file, from the same Windows XP Embedded ",
                 "installation as the other two, in its place and try again."});
}
