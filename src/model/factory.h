// Makes items from the section codes of an image and the tags of the "add" menus. Each layer
// registers the classes it knows (the model its boards and tables, the ports layer its ports),
// so that the image reader never depends on the layers above it.
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace t32 {

class TItem;

enum class TItemPlace { Board, Port };

class TItemFactory {
 public:
  using Maker = std::function<std::unique_ptr<TItem>()>;
  // code: section code; place: whether it is a board (root child) or a port (processor child).
  void Register(int code, TItemPlace place, Maker maker, int menuTag = -1);
  std::unique_ptr<TItem> Make(int code, TItemPlace place) const;
  // Item for an "add" menu entry's tag.
  std::unique_ptr<TItem> MakeFromMenu(int menuTag, TItemPlace* place = nullptr) const;
  bool Knows(int code, TItemPlace place) const;

 private:
  struct Entry {
    TItemPlace place;
    Maker maker;
  };
  std::map<std::pair<int, int>, Maker> byCode_;
  std::map<int, Entry> byMenu_;
};

// The factory with every class the linked layers registered.
TItemFactory& DefaultFactory();

}  // namespace t32
