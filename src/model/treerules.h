// Rules of the configuration tree that the tree view applies: which nodes may be dragged and
// where they may be dropped, the move itself, the delete question and the delete itself.
#pragma once
#include <string>

namespace t32 {

class TDocument;
class TItem;
class TNode;
class TParams;

bool CanDrag(const TDocument& doc, const TNode* node);
// target null: the empty space below the tree.
bool CanDrop(const TDocument& doc, const TNode* dragged, const TNode* target);
// Inserts before the target (or as the last board on empty space), recounts both parents and
// rebuilds the storage. False when the drop is not allowed.
bool MoveNode(TDocument& doc, TNode* dragged, TNode* target);

// The confirmation text for "Удалить" by tree level; empty when the node may not be deleted.
std::string DeleteQuestion(const TDocument& doc, const TNode* node);
// Deletes the node after the answer was "Да" and returns the node to show next.
TNode* DeleteNode(TDocument& doc, TNode* node);

// Rows may be dragged within a table only in an output table: there the order is the order in
// which the port passes the signals on. A source table's rows are the board's physical inputs
// and never change places.
bool CanMoveRowsWithin(const TParams& table);

// A mode change of this item rebuilds the signal tables of `Scope` (for a UNIO24 port, all four
// ports of its board). When a rebuilt table holds a name the user gave, the change asks first:
// the question, or empty when nothing of the user's would be lost.
const TNode* ModeChangeScope(const TNode* node);
std::string ModeChangeQuestion(const TNode* node);
inline constexpr const char* kModeChangeQuestion = "Изменение режима удалит имена сигналов. Продолжить?";

}  // namespace t32
