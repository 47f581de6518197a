// Makes items from the section codes of an image and the tags of the "add" menus. Each layer
// registers the classes it knows (the model its boards and tables, the ports layer its ports),
// so that the image reader never depends on the layers above it. Registration is an explicit
// call of each layer (static initialisers in a static library would be dropped by the linker).
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
  // A child section of an item: the same code can name different classes under different
  // parents (a workstation under the IP port, a device under a Modbus port).
  void RegisterChild(const std::string& parentClass, int code, Maker maker);
  std::unique_ptr<TItem> Make(int code, TItemPlace place) const;
  std::unique_ptr<TItem> MakeChild(const std::string& parentClass, int code) const;
  // Item for an "add" menu entry's tag.
  std::unique_ptr<TItem> MakeFromMenu(int menuTag, TItemPlace* place = nullptr) const;
  bool Knows(int code, TItemPlace place) const;
  bool KnowsMenu(int menuTag) const { return byMenu_.count(menuTag) != 0; }
  bool KnowsChild(const std::string& parentClass, int code) const { return byParent_.count({parentClass, code}) != 0; }

 private:
  struct Entry {
    TItemPlace place;
    Maker maker;
  };
  std::map<std::pair<int, int>, Maker> byCode_;
  std::map<std::pair<std::string, int>, Maker> byParent_;
  std::map<int, Entry> byMenu_;
};

// The factory with the model's own classes (boards); layers above add theirs to it with their
// registration call (the ports layer: RegisterPorts).
TItemFactory& DefaultFactory();

}  // namespace t32
