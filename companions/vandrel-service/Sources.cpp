#include "companions/vandrel-service/Sources.h"

namespace vandrel {

NutUpsSource::NutUpsSource(nut::UpsAddress const& ups, DWORD pollMs) : monitor_(ups), pollMs_(pollMs) {}

SourceReading NutUpsSource::Next(HANDLE stop) {
    nut::UpsReading const reading = monitor_.Poll(stop);
    SourceReading out;
    out.statusWord = reading.statusWord;
    out.charge = reading.charge >= 0 ? static_cast<uint32_t>(reading.charge) : 0;
    out.upsStatus = reading.status;
    out.answered = reading.answered;
    return out;
}

std::unique_ptr<UpsSource> MakeUnusableSettingsSource() { return std::make_unique<FixedUpsSource>(kWordNoConnection); }

std::unique_ptr<UpsSource> MakeSource(ServiceSettings const& settings) {
    if (ValidateSettings(settings).failed()) return MakeUnusableSettingsSource();
    if (settings.source == SourceKind::Nut) return std::make_unique<NutUpsSource>(settings.ups, settings.pollMs);
    SimulationSettings const& simulation = settings.simulation;
    if (!simulation.script.empty())
        return std::make_unique<ScriptedUpsSource>(simulation.script, simulation.scriptStepMs);
    return std::make_unique<FixedUpsSource>(simulation.statusWord);
}

}  // namespace vandrel
