#include "formats/graphic.h"

#include "base/errors.h"

namespace tessane {

const TGraphicClass TGraphic::Class{"TGraphic", nullptr, nullptr};

void TGraphic::LoadFromFile(const std::string& path) {
  TFileStream file(path, FileMode::OpenRead);
  LoadFromStream(file);
}

void TGraphic::SaveToStream(TStream&) {
  throw EInvalidGraphicOperation(Format("%s cannot be saved", ClassName()));
}

void TGraphic::SaveToFile(const std::string& path) {
  TFileStream file(path, FileMode::Create);
  SaveToStream(file);
  file.Close();
}

}  // namespace tessane
