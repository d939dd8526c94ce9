#include "engine/EngineComponents.h"

#include <clocale>

#include "kce/kce.h"

namespace parvell {

TEngineComponents CreateEngineComponents(TComponent* owner, const TEngineLogin& login) {
    const TKdbServerTypes serverTypes{TKdbServerType::stKDB_REMOTE, TKdbServerType::stKDB_LOCAL};
    TEngineComponents components;
    // The engine reads numbers in statements and in text columns with the C library's
    // conversions, which follow the process's LC_NUMERIC. A window toolkit sets the process
    // locale from the environment at start; under a decimal-comma locale "2.25" would then stop
    // being a number in the window only. The program's own texts come from LocaleFormats.
    std::setlocale(LC_NUMERIC, "C");
    if (!TKdbSettings::Instance()) {
        // The user's locale first; the settings component then imposes the engine's date
        // format on it.
        components.Locale = LoadLocaleFormats();
        components.KdbSettings1 = std::make_unique<TKdbSettings>(owner, "KdbSettings1");
        components.KdbSettings1->SetDateFormat(kEngineDateFormat);
        components.KdbSettings1->SetKdbServerTypes(serverTypes);
    }
    components.KdbCPath = std::make_unique<TKdbConnection>(owner, "KdbCPath");
    components.KdbCPath->KdbServerTypes = serverTypes;
    components.KdbCPath->LoginPrompt = false;
    components.KdbCPath->Username = login.Username;
    components.KdbCPath->Password = login.Password;
    components.KdbTable1 = std::make_unique<TKdbQuery>(owner, "KdbTable1");
    components.KdbTable1->SetDatabaseName("KdbCPath");
    components.KdbTable1->SetKdbConnection(components.KdbCPath.get());
    return components;
}

void PrepareQuery(TEngineComponents& components, const std::string& dataPath,
                  const std::vector<std::string>& sqlLines) {
    components.KdbCPath->SetIsConnected(false);
    components.KdbCPath->SetConnectPath(dataPath);
    SetQueryLines(components, sqlLines);
}

void SetQueryLines(TEngineComponents& components, const std::vector<std::string>& sqlLines) {
    std::string text;
    for (const std::string& line : sqlLines) {
        text += line;
        text += "\r\n";
    }
    components.KdbTable1->SetSQL(text);
}

void FillQueryCursorsInBackground(bool on) {
    CheckEngineResult(nullptr, KdbFillCursorsInBackground(on ? 1 : 0));
}

}  // namespace parvell
