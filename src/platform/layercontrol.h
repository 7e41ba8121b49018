#pragma once

// A media player that plays several carts at once: the put playing now can be kept playing as a
// layer of its own, and the next put starts beside it; the sound server mixes them. Calls come
// from the user-interface thread.
class LayerControl
{
public:
    virtual ~LayerControl() = default;

    // The put playing now goes on as a layer, out of MediaPlayer's hands (whose file name,
    // duration and position are then a stopped one's until the next put). Its id, from 1; 0 when
    // nothing plays, and nothing changes.
    virtual int keepPlaying() = 0;
    // A layer's length and how far it has got, as MediaPlayer's duration() and position(): its
    // position equals its duration exactly once its last sample has been heard. 0 for no layer.
    virtual double layerDuration(int id) = 0;
    virtual double layerPosition(int id) = 0;
    // Silences a layer at once (the usual de-click) and forgets it.
    virtual void stopLayer(int id) = 0;
    // Fades a layer out as FadeControl fades the put; layerFadedOut() is true once it is silent.
    virtual void fadeLayer(int id, double seconds) = 0;
    virtual bool layerFadedOut(int id) = 0;
    // Brings a layer's level to db below its own (0: its own again) along a smooth curve of
    // seconds, from the next sample heard: what plays beside a voice-over ducks under it.
    virtual void duckLayer(int id, double db, double seconds) = 0;
};
