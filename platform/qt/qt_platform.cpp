#include "platform/qt/qt_platform.h"

#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QMessageBox>
#include <QPixmap>
#include <memory>

#include "platform/qt/dialog_layout.h"
#include "platform/qt/dialog_window.h"
#include "resources/dialog_template.h"
#include "resources/resource_ids.h"

namespace qtui {

namespace {

constexpr unsigned VK_MENU = 0x12;
// The system's icon size, as the window manager shows a window's big icon.
constexpr int kSystemIconSize = 32;

QIcon IconFromImages(std::span<const res::IconImage> images) {
  const std::span<const res::RgbColour, 16> palette = res::IconPalette();
  QIcon icon;
  for (const res::IconImage& image : images) {
    QImage pixels(image.size, image.size, QImage::Format_ARGB32);
    for (int y = 0; y < image.size; ++y) {
      for (int x = 0; x < image.size; ++x) {
        const std::size_t at = static_cast<std::size_t>(y * image.size + x);
        const res::RgbColour colour = palette[image.pixels[at] & 0x0F];
        pixels.setPixel(
            x, y, image.transparent[at] ? qRgba(0, 0, 0, 0) : qRgb(colour.r, colour.g, colour.b));
      }
    }
    icon.addPixmap(QPixmap::fromImage(pixels));
  }
  return icon;
}

}  // namespace

QtPlatform::QtPlatform(Application& application, platform::Clock& clock)
    : application_(application), clock_(clock) {}

QtPlatform::~QtPlatform() = default;

DialogWindow* QtPlatform::WindowOf(const ui::Dialog* dialog) {
  return dialog != nullptr ? dynamic_cast<DialogWindow*>(dialog->window()) : nullptr;
}

QWidget* QtPlatform::OwnerWidget(ui::Dialog* owner) {
  if (QWidget* window = WindowOf(owner)) return window;
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return QApplication::activeWindow();
}

int QtPlatform::RunModal(ui::Dialog& dialog) {
  const res::DialogTemplate* dialogTemplate = res::FindDialogTemplate(dialog.templateId());
  if (dialogTemplate == nullptr) return -1;
  ModalScope scope(*this);
  auto window =
      std::make_unique<DialogWindow>(dialog, *dialogTemplate, WindowOf(dialog.owner()), *this);
  dialog.Attach(window.get());
  if (dialog.OnInitDialog()) window->FocusFirstTabStop();
  const int result = window->RunModalLoop();
  window->StopTimers();
  dialog.Dispatch(ui::Message{ui::Message::Kind::Destroy, 0});
  dialog.Attach(nullptr);
  return result;
}

void QtPlatform::MessageBox(ui::Dialog* owner, std::string_view text) {
  ModalScope scope(*this);
  QMessageBox box(QMessageBox::Warning, QString::fromLatin1(ui::kApplicationName),
                  ToDisplayLines(text), QMessageBox::Ok, OwnerWidget(owner));
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

bool QtPlatform::IsKeyDown(unsigned vk) {
  // The state that came with the key being handled, else the keyboard's state now.
  const Qt::KeyboardModifiers modifiers =
      application_.keyEventModifiers().value_or(QGuiApplication::queryKeyboardModifiers());
  switch (vk) {
    case ui::VK_SHIFT:
      return modifiers.testFlag(Qt::ShiftModifier);
    case ui::VK_CONTROL:
      return modifiers.testFlag(Qt::ControlModifier);
    case VK_MENU:
      return modifiers.testFlag(Qt::AltModifier);
    default:
      return false;
  }
}

bool QtPlatform::OpenFileDialog(ui::Dialog* owner, const ui::FileDialogSpec& options,
                                std::string& path) {
  ModalScope scope(*this);
  QFileDialog box(OwnerWidget(owner));
  if (options.title != nullptr) box.setWindowTitle(ToQString(options.title));
  // Qt's own dialog everywhere: a desktop's native one may refuse a name that does not exist.
  box.setOption(QFileDialog::DontUseNativeDialog);
  box.setAcceptMode(QFileDialog::AcceptOpen);
  // Any name is returned, also one of a file that does not exist; the caller reports it.
  box.setFileMode(QFileDialog::AnyFile);
  const QString filter = FileDialogFilter(options.filter);
  if (!filter.isEmpty()) box.setNameFilter(filter);
  const QString suffix = DefaultSuffix(options.defaultExtension);
  if (!suffix.isEmpty()) box.setDefaultSuffix(suffix);
  if (options.fileName != nullptr && options.fileName[0] != '\0')
    box.selectFile(ToQString(options.fileName));
  if (box.exec() != QDialog::Accepted) return false;
  const QStringList chosen = box.selectedFiles();
  if (chosen.isEmpty()) return false;
  path = QFile::encodeName(chosen.first()).toStdString();
  return true;
}

void QtPlatform::DrainMessages() {
  const bool wasDraining = draining_;
  draining_ = true;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  draining_ = wasDraining;
}

std::string QtPlatform::ProgramPath() {
  return QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
}

ui::IconHandle QtPlatform::LoadIcon(int resourceId) {
  if (resourceId != res::IDI_MAIN || res::MainIconImages().empty()) return 0;
  if (mainIcon_.isNull()) mainIcon_ = IconFromImages(res::MainIconImages());
  return resourceId;
}

void QtPlatform::IconSize(int& width, int& height) {
  width = kSystemIconSize;
  height = kSystemIconSize;
}

QIcon QtPlatform::Icon(ui::IconHandle icon) const {
  return icon == res::IDI_MAIN ? mainIcon_ : QIcon();
}

}  // namespace qtui
