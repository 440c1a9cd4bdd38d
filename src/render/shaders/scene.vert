#version 330 core

layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec2 aTexCoord;

uniform mat4 uMatrix; // projection × view × model, depth mapped to 0 … 1
uniform vec2 uPan;    // normalised device units, added after projection
uniform float uFlipY; // −1 draws rows top-down, so a read-back is already in image order

out vec2 vTexCoord;
out vec2 vQuad;

void main()
{
    vec4 clip = uMatrix * vec4(aPosition, 1.0);
    clip.xy += uPan * clip.w;
    clip.y *= uFlipY;
    // GL clips depth to −1 … 1, the matrices produce 0 … 1: stretch it so the near plane
    // clips exactly where the matrices put it. With the default depth range the window
    // depth comes out as the matrices' 0 … 1 value.
    clip.z = 2.0 * clip.z - clip.w;
    gl_Position = clip;
    vTexCoord = aTexCoord;
    vQuad = aPosition.xy;
}
