// One configuration: the item tree, the signal storage, the image reader/writer and the
// per-document flags. Everything that would otherwise be process-wide lives here, so that
// every test and every window works on its own independent document.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "model/config.h"
#include "model/tree.h"

namespace t32 {

class TMessages;
class TItemFactory;
class TController;
class TProc;
class TPortIP;
class TStorage;
class TAppContext;

class TDocument {
 public:
  // msgs: where errors and questions go (a silent recorder when null);
  // factory: the classes images may contain (DefaultFactory() when null).
  explicit TDocument(TMessages* msgs = nullptr, const TItemFactory* factory = nullptr);
  ~TDocument();
  TDocument(const TDocument&) = delete;
  TDocument& operator=(const TDocument&) = delete;

  TTree& Tree() { return tree_; }
  const TTree& Tree() const { return tree_; }
  TConfig& Config() { return config_; }
  TMessages& Messages() { return *messages_; }
  void SetMessages(TMessages* m);
  const TItemFactory& Factory() const { return *factory_; }
  TStorage& Storage() { return *storage_; }

  TNode* ControllerNode() const { return tree_.Root(); }
  TNode* ProcNode() const;
  TNode* PortIPNode() const;
  TController* Controller() const;
  TProc* Proc() const;
  TPortIP* PortIP() const;

  // Output tables store their rows by storage index (true) or by name (false); set per CPU type
  // by the file reader and writer.
  bool extendedFormat = false;
  // What the program keeps beside its documents (device library, template buffer); set by the
  // program or the test that made the document, none for a bare model.
  TAppContext* appContext = nullptr;
  // Counts read from the processor section: root children (processor + boards) and processor
  // children (IP port + ports). They drive the image reader.
  int boardCount = 1;
  int portCount = 1;
  // The file the configuration was last opened from or saved to ("Создать" keeps it). Images
  // built for the controller name it in their head, before the controller's own file name.
  std::string currentFile;

  // "Создать": the three fixed nodes stay, everything else goes, every item gets its defaults.
  void NewConfiguration();
  // Writes every section into Config() from the data start; returns the end of the records.
  std::int32_t WriteRecords();
  // Rebuilds the tree from the records in Config() (after NewConfiguration), long or short.
  void ReadRecords(bool shortRecords);
  // The tree as indented text with every setting (stable, diff-friendly).
  std::string Dump() const;
  // Tells every item that the tree changed shape (counts, status tables) and rebuilds storage.
  void AfterEdit();

 private:
  void MakeFixedNodes();
  std::unique_ptr<TMessages> ownMessages_;
  TMessages* messages_;
  const TItemFactory* factory_;
  TTree tree_;
  TConfig config_;
  std::unique_ptr<TStorage> storage_;
};

}  // namespace t32
