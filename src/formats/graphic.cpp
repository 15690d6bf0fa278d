#include "formats/graphic.h"

#include "base/errors.h"

namespace tessane {

const GraphicClass Graphic::Class{"TGraphic", nullptr, nullptr};

void Graphic::LoadFromFile(const std::string& path) {
  FileStream file(path, FileMode::OpenRead);
  LoadFromStream(file);
}

void Graphic::SaveToStream(ByteStream&) {
  throw InvalidImageOperationError(Format("%s cannot be saved", ClassName()));
}

void Graphic::SaveToFile(const std::string& path) {
  FileStream file(path, FileMode::Create);
  SaveToStream(file);
  file.Close();
}

}  // namespace tessane
