#include "recording/run_lists.h"

namespace voxa {

RunLists::Created RunLists::Create(FileWriter& writer, bool errorList, const std::string& errorPath, bool shiftList,
                                   const std::string& shiftPath, bool continued) {
  Created created;
  const Creation how = continued ? Creation::Continued : Creation::Emptied;
  errorOn_ = errorList && errors_.Create(writer, errorPath, how, created.errorListFailure);
  created.errorList = !errorList || errorOn_;
  shiftOn_ = shiftList && shifts_.Create(writer, shiftPath, how, created.shiftListFailure);
  created.shiftList = !shiftList || shiftOn_;
  return created;
}

void RunLists::Sync() {
  errors_.Sync();
  shifts_.Sync();
}

void RunLists::Close() {
  errorOn_ = false;
  shiftOn_ = false;
  errors_.Close();
  shifts_.Close();
}

}  // namespace voxa
