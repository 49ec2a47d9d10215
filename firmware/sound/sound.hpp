// Tone playback on timer 2: half A makes the tone as PWM on port C pin 7, half B steps the tune
// every 5 ms. A tune is pairs of u16 (start tick, frequency in Hz) with ascending start ticks;
// it ends at the start tick of its last pair, whose frequency never sounds.
#pragma once

#include <cstdint>

extern uint32_t g_ulSystemClock;
extern const uint16_t* volatile g_pusMusic;
extern volatile uint16_t g_usMusicLength;
extern volatile uint16_t g_usMusicCount;
extern volatile uint8_t g_ucVolume;

void SoundInit();
// length counts u16 elements (twice the number of pairs).
void SoundPlay(const uint16_t* tune, uint16_t length);
void SoundEnable();
void SoundVolumeSet(uint8_t volume);
void SoundMute();
void SoundIntHandler();
