// The boards the model knows, by section code; the board menu uses the same numbers as tags.
#include "model/boards.h"
#include "model/factory.h"

namespace t32 {

void RegisterModelItems(TItemFactory& f) {
  const auto board = TItemPlace::Board;
  f.Register(1, board, [] { return std::make_unique<TMVS4>(); }, 1);
  f.Register(2, board, [] { return std::make_unique<TMPI4>(4); }, 2);
  f.Register(3, board, [] { return std::make_unique<TMPI4>(8); }, 3);
  f.Register(9, board, [] { return std::make_unique<TMPI4>(4); }, 9);
  f.Register(4, board, [] { return std::make_unique<TDI32>(); }, 4);
  f.Register(5, board, [] { return std::make_unique<TAI16>(); }, 5);
  f.Register(7, board, [] { return std::make_unique<TUnio96>(); }, 7);
  f.Register(15, board, [] { return std::make_unique<TDO32>(); }, 15);
}

}  // namespace t32
