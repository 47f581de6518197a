// Rules of the configuration tree that the tree view applies: which nodes may be dragged and
// where they may be dropped, the move itself, the delete question and the delete itself.
#pragma once
#include <string>

namespace t32 {

class TDocument;
class TNode;

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

}  // namespace t32
