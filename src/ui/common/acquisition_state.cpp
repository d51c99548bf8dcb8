#include "ui/common/acquisition_state.h"

namespace tavril {

std::string WhyItWaitsForTheRun(AcquisitionState state, RunNeed need) {
  if (need == RunNeed::kNothing) return {};
  switch (state) {
    case AcquisitionState::kIdle:
      return {};
    case AcquisitionState::kFinite:
      // The windows take no input meanwhile: only a command run from code
      // can come here.
      return "Attendez la fin de l'acquisition en cours.";
    case AcquisitionState::kContinuous:
      return std::string("Arrêtez d'abord l'acquisition continue : ") +
             (need == RunNeed::kRecords
                  ? "cette commande remplacerait les enregistrements qu'elle est en train de "
                    "montrer."
                  : "la configuration changerait les réglages de la carte qu'elle est en train "
                    "de lire.");
    case AcquisitionState::kFrequencySweep:
      // It reads and drives the board but leaves the records alone.
      if (need == RunNeed::kRecords) return {};
      return "Arrêtez d'abord la mesure de la réponse en fréquence : elle utilise les sorties et "
             "les entrées de la carte.";
  }
  return {};
}

}  // namespace tavril
