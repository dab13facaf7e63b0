#include "platform/ui.h"

#include "platform/application.h"

namespace quill {

void Ui::Message(std::string_view text) {
  MessageBox(text, ApplicationName(), MbButtons::Ok, MbIcon::Exclamation);
}

}  // namespace quill
