#include "extract/Extract.h"

#include "common/Exceptions.h"

namespace parvell {

TExtractResult ExtractToFile(TDataSet& data, std::string_view path, const TExtractOptions& options,
                             TExtractCallbacks& callbacks) {
    TExtractFile file;
    return ExtractToFile(data, path, options, callbacks, file);
}

TExtractResult ExtractToFile(TDataSet& data, std::string_view path, const TExtractOptions& options,
                             TExtractCallbacks& callbacks, TExtractFile& file) {
    try {
        file.Create(path);
    } catch (const EInOutError&) {
        // The run's closing step then finds no open file, and that is the error reported,
        // whatever kept the file from being created.
        throw EInOutError(kIoFileNotOpen);
    }
    TExtractResult result;
    try {
        switch (options.layout) {
            case TExtractLayout::CommaDelimited:
                result = WriteCommaDelimited(data, file, options.createHeader, callbacks);
                break;
            case TExtractLayout::FixedLength:
                result = WriteFixedLength(data, file, false, options.createHeader, callbacks);
                break;
            case TExtractLayout::TabDelimited:
                result = WriteFixedLength(data, file, true, options.createHeader, callbacks);
                break;
        }
    } catch (...) {
        file.CloseAfterFailure();
        throw;
    }
    file.Close();
    return result;
}

}  // namespace parvell
