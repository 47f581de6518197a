#include "model/port_ip.h"

#include "model/config.h"
#include "model/boards.h"
#include "model/document.h"
#include "model/factory.h"
#include "model/rawsection.h"

namespace t32 {

TPortIP::TPortIP() {
  name = "0_Порт_IP";
  frameClass = "TPortIPFrame";
  popup = TPopup::AddPCMenu;
  number = 255;
  iconIndex = 14;
  role = 1;
}

void TPortIP::Create(TNode* n) {
  TPort::Create(n);
  if (TDocument* d = Doc(); d && d->ProcNode())
    boundChannel = dynamic_cast<TBlock*>(d->ProcNode()->Item());
}

void TPortIP::UpdateNode() {
  if (!node) return;
  node->SetCaption(name);
  node->SetImages(iconIndex);
}

void TPortIP::SetDefaults() {
  net1Address = 0xC0A80101;
  net1Mask = 0xFFFFFF00;
  net1Gateway = 0;
  net2Address = 0xC0A80201;
  net2Mask = 0xFFFFFF00;
  net2Gateway = 0;
}

void TPortIP::Fields(TFieldVisitor& v) {
  v.Ip({"net1Address", 49}, net1Address);
  v.Ip({"net1Mask", 50}, net1Mask);
  v.Ip({"net1Gateway", 68}, net1Gateway);
  v.Ip({"net2Address", 103}, net2Address);
  v.Ip({"net2Mask", 104}, net2Mask);
  v.Ip({"net2Gateway", 105}, net2Gateway);
}

void TPortIP::RecountChildren() {
  int pcs = 0;
  for (TItem* c : ChildItems())
    if (c->SectionCode() == 202) ++pcs;
  pcCount = static_cast<std::uint8_t>(pcs);
}

void TPortIP::SaveToImage(TConfig& c) {
  RecountChildren();
  std::int32_t s = c.Pos;
  c.BeginSection(100);
  c.PutU8(48, version);
  TImageWriter w(c);
  Fields(w);
  c.PutU8(20, pcCount);
  WriteChildren(c);
  c.EndSection(s);
}

void TPortIP::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, 100)) return;
  TImageReader r(c);
  Fields(r);
  c.GetU8(20, pcCount);
  // Workstations, when this build knows their class. Any other section inside (or every
  // section, in a build without the workstation class) is kept as it stood.
  TDocument* d = Doc();
  if (d && node && node->Tree() && d->Factory().KnowsChild(ClassName(), 202)) {
    TChildReader rd(c);
    for (int i = 0; i < pcCount && rd.Peek() >= 0;) {
      if (rd.Peek() != 202) {
        const std::int32_t at = c.FindSection();
        KeepRawSection(*node->Tree(), node, c, at);
        c.Pos = c.SectionEnd(at);
        ++i;
        continue;
      }
      TNode* n = node->Tree()->Add(node, d->Factory().MakeChild(ClassName(), 202));
      rd.Load(n->Item());
      ++i;
    }
  } else {
    KeepChildSections(*this, c);
  }
  if (node) node->expanded = true;
}

}  // namespace t32
