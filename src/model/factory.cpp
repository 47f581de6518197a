#include "model/factory.h"

#include "model/item.h"

namespace t32 {

void TItemFactory::Register(int code, TItemPlace place, Maker maker, int menuTag) {
  if (menuTag >= 0) byMenu_[menuTag] = {place, maker};
  byCode_[{code, static_cast<int>(place)}] = std::move(maker);
}

void TItemFactory::RegisterChild(const std::string& parentClass, int code, Maker maker) {
  byParent_[{parentClass, code}] = std::move(maker);
}

std::unique_ptr<TItem> TItemFactory::MakeChild(const std::string& parentClass, int code) const {
  auto it = byParent_.find({parentClass, code});
  return it == byParent_.end() ? nullptr : it->second();
}

std::unique_ptr<TItem> TItemFactory::Make(int code, TItemPlace place) const {
  auto it = byCode_.find({code, static_cast<int>(place)});
  return it == byCode_.end() ? nullptr : it->second();
}

std::unique_ptr<TItem> TItemFactory::MakeFromMenu(int menuTag, TItemPlace* place) const {
  auto it = byMenu_.find(menuTag);
  if (it == byMenu_.end()) return nullptr;
  if (place) *place = it->second.place;
  return it->second.maker();
}

bool TItemFactory::Knows(int code, TItemPlace place) const {
  return byCode_.count({code, static_cast<int>(place)}) != 0;
}

void RegisterModelItems(TItemFactory& f);  // boards_register.cpp

TItemFactory& DefaultFactory() {
  static TItemFactory f = [] {
    TItemFactory made;
    RegisterModelItems(made);
    return made;
  }();
  return f;
}

}  // namespace t32
