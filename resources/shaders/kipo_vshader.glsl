attribute highp vec4 vertex;
attribute highp vec4 texCoord;
attribute highp vec3 normal;
uniform highp mat4 matrix;
uniform highp mat4 model;
varying highp vec4 texc;
varying highp vec3 fragmentNormal;
varying highp vec3 fragmentPosition;

void main(void)
{
    // Lighting is worked out in model space, so the light stays put while the board turns.
    fragmentPosition = vec3(model * vertex);
    fragmentNormal = vec3(model * vec4(normal, 0.0));
    texc = texCoord;
    gl_Position = matrix * vertex;
}
