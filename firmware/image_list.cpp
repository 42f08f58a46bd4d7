#include <memory>
#include <string>

#include "app/main_dialog.h"
#include "firmware/package_reader.h"
#include "resources/resource_ids.h"

namespace app {

namespace {

constexpr const char* kDefaultPackageName = "UpdateAppImg.bin";

struct ListColumn {
  const char* heading;
  int width;  // pixels
};
constexpr ListColumn kImageListColumns[] = {{"Img. type", 200}, {"Version", 40}, {"Size [kb]", 56}};
constexpr int kColumnVersion = 1;
constexpr int kColumnSize = 2;

// Puts the reader's rows into the image list, in file order.
class ImageListRows final : public firmware::RowSink {
 public:
  explicit ImageListRows(MainDialog& dialog) : dialog_(dialog) {}

  int AddRow(int row, int slotIndex, const firmware::ImageSlot& slot) override {
    const int inserted =
        dialog_.ListInsertRow(res::IDC_IMAGE_LIST, row, firmware::SlotTypeName(slotIndex));
    if (inserted >= 0) {
      dialog_.ListSetItemText(res::IDC_IMAGE_LIST, inserted, kColumnVersion,
                              firmware::FormatImageVersion(slot.version));
      dialog_.ListSetItemText(res::IDC_IMAGE_LIST, inserted, kColumnSize,
                              firmware::FormatImageSize(slot.size));
    }
    return inserted;
  }

 private:
  MainDialog& dialog_;
};

// Where the directory part of the program path ends. Windows paths use backslashes; the Linux
// build gets a path with slashes from the system, so there a slash separates as well.
std::string::size_type DirectoryEnd(const std::string& path) {
#ifdef _WIN32
  const std::string::size_type separator = path.find_last_of('\\');
#else
  const std::string::size_type separator = path.find_last_of("\\/");
#endif
  return separator == std::string::npos ? path.size() : separator + 1;
}

}  // namespace

void MainDialog::PreparePackage() {
  for (firmware::ImageSlot& slot : package.slots) slot.Empty();
  int column = 0;
  for (const ListColumn& c : kImageListColumns) {
    ListInsertColumn(res::IDC_IMAGE_LIST, column++, c.heading, c.width);
  }
  ListSetExtendedStyle(res::IDC_IMAGE_LIST,
                       ui::LVS_EX_FULLROWSELECT | ui::LVS_EX_CHECKBOXES | ui::LVS_EX_GRIDLINES);
}

void MainDialog::LoadDefaultPackage() {
  std::string path = ui::Host().ProgramPath();
  path.resize(DirectoryEnd(path));
  path += kDefaultPackageName;
  // A missing or broken default package is not worth a message: the user can pick one.
  if (LoadImageFile(path.c_str()) == nullptr) SetItemText(res::IDC_IMAGE_PATH, path);
}

const char* MainDialog::LoadImageFile(const char* path) {
  const char* result = firmware::RESULT_UNABLE_TO_OPEN;
  // A file that cannot be opened leaves the package and its rows as they were.
  if (std::unique_ptr<firmware::ByteSource> file = firmware::OpenPackageFile(path)) {
    ListDeleteAllRows(res::IDC_IMAGE_LIST);
    ImageListRows rows(*this);
    result = firmware::ReadPackage(*file, package, rows);
  }
  RefreshImageChecks();
  UpdateUploadButton();
  return result;
}

void MainDialog::RefreshImageChecks() {
  // Without a device there is nothing to compare with, so the boxes keep their states.
  if (!link.IsOpen()) return;
  const std::uint16_t deviceVersions[firmware::SLOT_COUNT] = {link.identity.generalAppVersion,
                                                              link.identity.inputsCtrlVersion};
  for (int index = 0; index < firmware::SLOT_COUNT; ++index) {
    const firmware::ImageSlot& slot = package.slots[index];
    // A row index of -1 would address every row of the list.
    if (!slot.IsLoaded() || slot.listRow < 0) continue;
    const std::uint16_t deviceVersion = deviceVersions[index];
    const bool newer = deviceVersion == device::VERSION_NOT_READ || slot.version > deviceVersion;
    ListSetItemState(res::IDC_IMAGE_LIST, slot.listRow,
                     newer ? ui::LVIS_CHECKED : ui::LVIS_UNCHECKED, ui::LVIS_STATEIMAGEMASK);
  }
}

void MainDialog::UpdateUploadButton() {
  EnableItem(res::IDC_UPLOAD, package.loadedCount != 0);
}

void MainDialog::OnBrowseImage() {
  // A running upload sends from the package's buffers; a new package would free them.
  if (uploadRunning) return;
  ui::FileDialogSpec options;
  options.defaultExtension = "*.bin";
  options.fileName = nullptr;
  options.flags = ui::OFN_HIDEREADONLY;
  options.filter = "Binary files (*.bin)|*.bin||";
  options.title = "Open application image file";
  std::string path;
  if (!ui::Host().OpenFileDialog(this, options, path)) return;
  SetItemText(res::IDC_IMAGE_PATH, path);
  if (const char* result = LoadImageFile(path.c_str())) MessageBox(result);
}

}  // namespace app
