#include "formats/graphic.h"

namespace tessane {

void Graphic::LoadFromFile(const std::string& path) {
  FileStream file(path, FileMode::OpenRead);
  LoadFromStream(file);
}

void Graphic::SaveToFile(const std::string& path) {
  FileStream file(path, FileMode::Create);
  SaveToStream(file);
  file.Close();
}

}  // namespace tessane
