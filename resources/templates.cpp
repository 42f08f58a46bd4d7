#include "resources/dialog_template.h"

namespace res {

const DialogTemplate* FindDialogTemplate(int id) {
  (void)id;
  return nullptr;
}

}  // namespace res
